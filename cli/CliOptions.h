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
    QString reason = {}; // a usage error's reason alone, for the error object
};

using ParsedCommand = std::variant<CliPrint, ReadOptions, WriteOptions, ImitateOptions, ListenOptions,
                                   CheckOptions, ValidateOptions>;

// The command line of main() as text (the system's encoding is UTF-8).
QStringList ArgumentList(int argc, char** argv);

// arguments: the whole command line, the program's name first and the subcommand's name second.
ParsedCommand ParseSubcommand(const QStringList& arguments);

// The subcommands' names and one line each, for the program's own help.
QString SubcommandsHelp();
// The exit statuses and what each means, for every help text.
QString ExitCodesHelp();
// "команды: read, write, …", for a word on the command line that is none of them.
QString SubcommandNames();

// QCommandLineParser's English error ("Missing value after '--port'.") in Russian.
QString ParserErrorText(const QString& english);

// How the run prints, set once its command line is read. quiet (--quiet): nothing but errors and the
// data asked for on standard output (--output -); json (--json): a failure also prints
// {"error": {"exit": N, "message": "…", "field": "…"}} on standard output.
struct OutputMode {
    bool quiet = false;
    bool json = false;
};
void SetOutputMode(const OutputMode& mode);
const OutputMode& CurrentOutputMode();

// Writes a text to standard output (nothing when quiet) or standard error as it is, in UTF-8.
void PrintOut(const QString& text);
void PrintError(const QString& text);
// Writes the data asked for to standard output, quiet or not.
void PrintData(const QByteArray& bytes);
// "rmz47 NAME: message" on standard error, and with --json the error object (field: the file's or the
// option's field at fault, empty for none) on standard output.
void PrintFailure(const QString& subcommand, int status, const QString& message, const QString& field = {});
