#include "CliCommand.h"
#include "CliOptions.h"

int RunCliListen(const ListenOptions&) {
    PrintError(QStringLiteral("rmz47 listen: команда пока не выполняется\n"));
    return kExitUsage;
}
