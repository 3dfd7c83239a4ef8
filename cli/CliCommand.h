#pragma once
// The program's subcommands (read, write, imitate, listen, check, validate): what each one was asked to do,
// parsed and checked before any port is opened, and the status each ends with. Each runs the window's own
// jobs against a console view.
#include "LineSpeed.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class Link;

// The status a subcommand ends with; scripts rely on these numbers.
enum CliExit : int {
    kExitDone = 0,   // done; imitate and listen also when ended by --for, their target or a signal
    kExitFailed = 1, // a check step "не годен", a reply not an acknowledgement, a read-back that differs
    kExitUsage = 2,     // the command line itself is wrong
    kExitNoAnswer = 3,  // no valid answer after the attempts
    kExitPort = 4,      // the port cannot be opened
    kExitFile = 5,      // a file refused; a check plan that differs from the controller's configuration
    kExitAborted = 130, // a check aborted
};

// Which port: a device path or short name (--port), a number mapped in the settings file (--com), or
// neither: the settings file's port, as the window uses it.
struct PortChoice {
    QString device;
    std::optional<int> com;
};

struct ReadOptions {
    PortChoice port;
    bool json = false;
    QString output; // the configuration file to write; empty for none
};

struct WriteOptions {
    PortChoice port;
    QString file;
    bool yes = false;    // another software version with the same layout is taken without asking
    bool dryRun = false; // the fields that would change are printed; nothing is written
};

// A configuration or plan file judged offline.
struct ValidateOptions {
    QString file;
};

// One imitated run: ADDR:RUN:FLOW[:msb|:lsb], the flow in m3/h.
struct ImitateRun {
    quint8 address = 1;
    quint8 run = 1;
    double flowM3h = 0;
    std::optional<bool> msbFirst; // nothing: the imitation settings' default
};

struct ImitateOptions {
    PortChoice port;
    QList<ImitateRun> runs;           // 1..3
    std::optional<int> speedIndex;    // a LineSpeedTable row; nothing: the imitation's default
    std::optional<qint64> forMs;      // --for
    std::optional<qint64> pulses;     // --pulses (needs pulseValue)
    std::optional<double> pulseValue; // --pulse-value, m3 per pulse
    bool json = false;
};

// ADDR:RUN:msb|lsb for listen.
struct ListenOrder {
    quint8 address = 1;
    quint8 run = 1;
    bool msbFirst = true;
};

struct ListenOptions {
    PortChoice port;
    std::optional<int> speedIndex; // nothing: the controller's 1200 bit/s
    QList<ListenOrder> orders;
    std::optional<qint64> forMs;
    bool json = false;
};

struct CheckOptions {
    PortChoice port;
    QString plan;
    QList<qint64> counted;      // --counted, one per step; empty: asked on the terminal
    QString report;             // the PDF to write; empty for none
    bool useController = false; // a plan that differs from the controller's configuration goes by it
};

// The device a choice names, resolved as the window resolves its port (short names under /dev/, COMn
// through the settings file's mapping or its default device); empty with *message set when neither the
// choice nor the settings file names a port.
QString ChosenDevice(const PortChoice& choice, QString* message);

// Points link at the real serial port, the system clock and the settings file the window uses (read,
// never written), on the chosen device, and opens it at baud (the controller's speed unless told): kExitDone,
// or kExitPort with *message naming the port and why it would not open.
int OpenCliLink(Link& link, const PortChoice& choice, QString* message, int baud = proto::kControllerBaud);

int RunCliRead(const ReadOptions& options);
int RunCliWrite(const WriteOptions& options);
int RunCliImitate(const ImitateOptions& options);
int RunCliListen(const ListenOptions& options);
int RunCliCheck(const CheckOptions& options);
int RunCliValidate(const ValidateOptions& options);

// True when arguments (the whole command line, the program's name first) name a subcommand.
bool IsSubcommand(const QStringList& arguments);
// Parses and runs the subcommand: its status.
int RunSubcommand(int argc, char** argv);
