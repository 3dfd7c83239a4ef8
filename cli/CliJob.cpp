#include "CliJob.h"

#include "CliOptions.h"

int CliJob::open(const PortChoice& choice, int baud) {
    QString message;
    const int status = OpenCliLink(link, choice, &message, baud);
    return status == kExitDone ? status : fail(status, message);
}

int CliJob::fail(int status, const QString& message, const QString& field) const {
    PrintFailure(name_, status, message, field);
    return status;
}

void CliJob::warn(const QString& message) const {
    if (!CurrentOutputMode().quiet)
        PrintError(QStringLiteral("rmz47 %1: %2\n").arg(name_, message));
}
