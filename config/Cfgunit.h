#pragma once
// The configure-controller job and its configuration form.
#include "CfgJournal.h"
#include "CfgRecord.h"

#include <functional>

class ConfigureView;
class Link;
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

// The configuration the operator confirmed in the form, with the line speed chosen for run 1 (an
// index of LineSpeedTable). Told before the write, whatever the write's result.
using CfgConfirmed = std::function<void(const CfgRecord& record, int speedIndex)>;

// The whole configure flow, run from the main window's UstavkiButton: reads the identification, state
// and configuration tables, lets the operator edit the configuration in the view's form and writes it
// back. Each exchange is told to the view as the step on the line. At the end `finished` learns what the
// job found and did; the saves it could not make (the journal) are told in one message after the job's
// last one.
void UstavkiButtonClick(ConfigureView& view, Link& link, CfgContext& cfg, const CfgConfirmed& confirmed,
                        const CfgFinished& finished = {});
