#include "Logging.h"

#include <cstdio>
#include <cstring>

Q_LOGGING_CATEGORY(lcLink, "rmz47.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcImit, "rmz47.imit", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConfig, "rmz47.config", QtInfoMsg)
Q_LOGGING_CATEGORY(lcMonitor, "rmz47.monitor", QtInfoMsg)

namespace {

QtMessageHandler g_qtOutput = nullptr;

void Output(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool ours = context.category && std::strncmp(context.category, "rmz47.", 6) == 0;
    if (!ours || type == QtDebugMsg) {
        g_qtOutput(type, context, message);
        return;
    }
    std::fputs((message + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

void InstallLogOutput() {
    if (!g_qtOutput)
        g_qtOutput = qInstallMessageHandler(Output);
}
