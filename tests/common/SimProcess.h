#pragma once
// The virtual controller as a child process of a test, a settings file that maps the tool's COM1 to the
// controller's pseudo-terminal, and the tool's link opened on it.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

class Port;
class RecordingLinkUi;
class Link;

// Starts `program` with `args` and waits for the line "PTY <device>" it prints once its end of the link
// is open; `device` (if given) receives the path. The rest of its output stays unread in `sim`.
::testing::AssertionResult StartSim(QProcess& sim, const QString& program, const QStringList& args,
                                    QString* device = nullptr);

// Writes a settings file choosing COM1 with RTS switching `rts` (1 on, 0 off), COM1 mapped to `device`;
// `eol` is the line end used throughout.
::testing::AssertionResult WriteCom1Settings(const QString& path, const QString& device, int rts = 1,
                                             const QByteArray& eol = "\n");

// The tool's link over `port` and the system clock, its settings from `settingsPath` (written before),
// its boxes recorded in `ui`; COM1 opened at the controller's speed.
::testing::AssertionResult OpenCom1(Link& link, Port& port, RecordingLinkUi& ui, const QString& settingsPath);
