#pragma once
// The program's logging categories, switched with QT_LOGGING_RULES. Debug is off unless a rule turns it
// on: QT_LOGGING_RULES="rmz47.link.debug=true" traces every frame and fault the line tap sees.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLink)    // rmz47.link: the frame trace; the port lost and back; a slow adapter
Q_DECLARE_LOGGING_CATEGORY(lcImit)    // rmz47.imit: an imitation's start and end
Q_DECLARE_LOGGING_CATEGORY(lcConfig)  // rmz47.config: why a table answer was refused
Q_DECLARE_LOGGING_CATEGORY(lcMonitor) // rmz47.monitor: rows lost while the line monitor is paused

// Messages of these categories from info up are for the operator: they go to standard error as plain
// lines, without the category Qt's own format puts in front. Debug lines and every other message keep
// Qt's format. Called once at start; further calls change nothing.
void InstallLogOutput();
