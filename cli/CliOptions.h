#pragma once
// The subcommands' command lines read into their option structs, with the help each one prints.
#include "CliCommand.h"

#include <QString>
#include <QStringList>
#include <variant>

// What a command line asks for that is not a run: its help (status 0, standard output) or a usage
// error (status 2, standard error).
struct CliPrint {
    int status = kExitDone;
    QString text;
};

using ParsedCommand =
    std::variant<CliPrint, ReadOptions, WriteOptions, ImitateOptions, ListenOptions, CheckOptions>;

// The command line of main() as text (the system's encoding is UTF-8).
QStringList ArgumentList(int argc, char** argv);

// arguments: the whole command line, the program's name first and the subcommand's name second.
ParsedCommand ParseSubcommand(const QStringList& arguments);

// The subcommands' names and one line each, for the program's own help.
QString SubcommandsHelp();
// "команды: read, write, …", for a word on the command line that is none of them.
QString SubcommandNames();

// Writes a text to standard output or standard error as it is, in UTF-8.
void PrintOut(const QString& text);
void PrintError(const QString& text);
