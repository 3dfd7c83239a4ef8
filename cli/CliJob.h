#pragma once
// What every subcommand on the controller's line shares: its link, opened on the chosen port and closed
// at the end, and its messages on standard error under the subcommand's name.
#include "CliCommand.h"
#include "Now_opros.h"

class CliJob {
public:
    explicit CliJob(const QString& name) : name_(name) {}
    ~CliJob() { ClosePort(link); }
    CliJob(const CliJob&) = delete;
    CliJob& operator=(const CliJob&) = delete;

    // Opens the port: kExitDone, or the status after the message naming the port and why.
    int open(const PortChoice& choice, int baud = proto::kControllerBaud);
    // Prints "rmz47 NAME: message" (and the error object with --json) and returns status.
    int fail(int status, const QString& message, const QString& field = {}) const;
    // Prints "rmz47 NAME: message" for something the run goes on with; nothing when quiet.
    void warn(const QString& message) const;

    Link link;

private:
    QString name_;
};
