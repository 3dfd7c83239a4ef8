#pragma once
// The virtual controller as a child process of a test, and a settings file that maps the tool's COM1 to
// the controller's pseudo-terminal.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

// Starts `program` with `args` and waits for the line "PTY <device>" it prints once its end of the link
// is open; `device` (if given) receives the path. The rest of its output stays unread in `sim`.
::testing::AssertionResult StartSim(QProcess& sim, const QString& program, const QStringList& args,
                                    QString* device = nullptr);

// Writes a settings file choosing COM1 with RTS switching `rts` (1 on, 0 off), COM1 mapped to `device`;
// `eol` is the line end used throughout.
::testing::AssertionResult WriteCom1Settings(const QString& path, const QString& device, int rts = 1,
                                             const QByteArray& eol = "\n");
