#pragma once
// The program's command line, read before any window system is touched: --help and --version print and
// end without a display, and an unknown option ends with status 2 like other command-line programs.
#include <QString>
#include <QStringList>

struct StartOptions {
    // Set when the start only prints: the text goes to standard output with status 0 (help, version)
    // and to standard error otherwise (a usage error, status 2).
    bool exitNow = false;
    int exitStatus = 0;
    QString text;
    // Options for a normal start are added here as the program gains them.
    bool openMonitor = false; // --monitor: the window "Обмен по линии" opens with the main window
};

// arguments: the whole command line, the program's own name first.
StartOptions ParseCommandLine(const QStringList& arguments);

// Prints an exit-now result and returns its status.
int PrintStartMessage(const StartOptions& options);

// Why the window cannot start in this session (no display and no platform named): one line naming the
// subcommands that work without a window; empty when it can start.
QString NoDisplayMessage();
