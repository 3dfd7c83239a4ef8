#pragma once
// The imitation job: the settings dialog and the answering loop.
#include "ImitSettings.h"

class QWidget;
struct Link;
struct Shell;

// The settings dialog: true when accepted (values taken over), false when cancelled.
bool EditImitSettings(ImitSettings& imit, QWidget* parent);

// Click handler of the main window's ImitFlButton: settings dialog, then RunImitation.
void ImitFlButtonClick(QWidget* mainForm, Link& link, ImitSettings& imit, Shell& shell);
void RunImitation(QWidget* mainForm, Link& link, ImitSettings& imit, Shell& shell);
