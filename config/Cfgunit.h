#pragma once
// The configuration form's wizard dialogs, and the configure job the form is shown by.
#include "ConfigureJob.h"

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
