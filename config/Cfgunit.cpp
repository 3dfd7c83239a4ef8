#include "Cfgunit.h"

#include "ImitSettings.h"

#include <QWidget>

WizardForms CreateWizardForms() { return {}; }

void DestroyWizardForms(WizardForms& forms) { forms = {}; }

void UstavkiButtonClick(QWidget* mainForm, Link& link, CfgContext& cfg, ImitSettings& imit, WizardForms& wizard) {
    Q_UNUSED(mainForm);
    Q_UNUSED(link);
    Q_UNUSED(cfg);
    Q_UNUSED(imit);
    Q_UNUSED(wizard);
}
