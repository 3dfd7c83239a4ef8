#pragma once
// The values the subcommands' options carry, read and checked: a run, a byte order, a speed of the
// line-speed table, a duration with its unit, the port choice.
#include "CliCommand.h"

#include <QCommandLineParser>

// A parsed command line's options by name; the first problem found is kept.
struct OptionReader {
    const QCommandLineParser& parser;
    QString error;

    bool has(const QString& name) const { return parser.isSet(name); }
    QString value(const QString& name) const { return parser.value(name); }
    void fail(const QString& why) {
        if (error.isEmpty())
            error = why;
    }
};

// Each subcommand's options from its options and positional arguments; problems in reader.error.
ReadOptions ToRead(OptionReader& r, const QStringList& positional);
WriteOptions ToWrite(OptionReader& r, const QStringList& positional);
ImitateOptions ToImitate(OptionReader& r, const QStringList& positional);
ListenOptions ToListen(OptionReader& r, const QStringList& positional);
CheckOptions ToCheck(OptionReader& r, const QStringList& positional);
ValidateOptions ToValidate(OptionReader& r, const QStringList& positional);
