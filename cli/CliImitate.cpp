#include "CliCommand.h"
#include "CliOptions.h"

int RunCliImitate(const ImitateOptions&) {
    PrintError(QStringLiteral("rmz47 imitate: команда пока не выполняется\n"));
    return kExitUsage;
}
