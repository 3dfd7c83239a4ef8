#include "Cfgunit.h"

#include "Podborunit.h"
#include "Podborunit2.h"

WizardForms CreateWizardForms() {
    WizardForms forms;
    forms.PodborForm1 = new TPodborForm1();
    forms.PodborForm2 = new TPodborForm2();
    return forms;
}

void DestroyWizardForms(WizardForms& forms) {
    delete forms.PodborForm1;
    delete forms.PodborForm2;
    forms = {};
}
