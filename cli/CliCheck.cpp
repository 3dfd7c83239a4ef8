#include "CliCommand.h"
#include "CliOptions.h"

int RunCliCheck(const CheckOptions&) {
    PrintError(QStringLiteral("rmz47 check: команда пока не выполняется\n"));
    return kExitUsage;
}
