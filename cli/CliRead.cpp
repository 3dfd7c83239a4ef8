#include "CliCommand.h"
#include "CliOptions.h"

#include "Now_opros.h"

int RunCliRead(const ReadOptions& options) {
    Link link;
    QString message;
    const int opened = OpenCliLink(link, options.port, &message);
    if (opened != kExitDone) {
        PrintError(QStringLiteral("rmz47 read: %1\n").arg(message));
        return opened;
    }
    ClosePort(link);
    return kExitDone;
}

int RunCliWrite(const WriteOptions&) {
    PrintError(QStringLiteral("rmz47 write: команда пока не выполняется\n"));
    return kExitUsage;
}

int RunCliCheck(const CheckOptions&) {
    PrintError(QStringLiteral("rmz47 check: команда пока не выполняется\n"));
    return kExitUsage;
}
