#include "Imitunit.h"

#include "Now_opros.h"
#include "UiCommon.h"

#include <QWidget>

bool EditImitSettings(ImitSettings& imit, QWidget* parent) {
    Q_UNUSED(imit);
    Q_UNUSED(parent);
    return false;
}

void ImitFlButtonClick(QWidget* mainForm, Link& link, ImitSettings& imit, Shell& shell) {
    SetJobButtonsEnabled(mainForm, false);
    if (EditImitSettings(imit, mainForm))
        RunImitation(mainForm, link, imit, shell);
    SetJobButtonsEnabled(mainForm, true);
}

void RunImitation(QWidget* mainForm, Link& link, ImitSettings& imit, Shell& shell) {
    Q_UNUSED(mainForm);
    Q_UNUSED(link);
    Q_UNUSED(imit);
    Q_UNUSED(shell);
}
