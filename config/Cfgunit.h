#pragma once
// The configure-controller job and its configuration form.
#include "CfgRecord.h"

class QWidget;
struct ImitSettings;
class TPodborForm1;
class TPodborForm2;

// The wizard's two step dialogs, created once at start-up and kept for the program run.
struct WizardForms {
    TPodborForm1* PodborForm1 = nullptr;
    TPodborForm2* PodborForm2 = nullptr;
};

// Creates the two wizard dialogs (parentless, as the program entry does after the main window).
WizardForms CreateWizardForms();
void DestroyWizardForms(WizardForms& forms);

// The whole configure flow, run from the main window's UstavkiButton. Disables the main window's job
// buttons while an exchange is under way.
void UstavkiButtonClick(QWidget* mainForm, Link& link, CfgContext& cfg, ImitSettings& imit, WizardForms& wizard);
