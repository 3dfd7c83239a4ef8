// The subcommands' entry: the command line is read whole before any port or window system is touched.
#include "CliCommand.h"
#include "CliOptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <type_traits>

namespace {

int RunParsed(const ParsedCommand& parsed) {
    return std::visit(
        [](const auto& command) -> int {
            using T = std::decay_t<decltype(command)>;
            if constexpr (std::is_same_v<T, CliPrint>) {
                if (command.status == kExitDone) {
                    PrintData(command.text.toUtf8()); // the help asked for, quiet or not
                    return command.status;
                }
                PrintError(command.text);
                if (CurrentOutputMode().json)
                    PrintData(
                        QJsonDocument(QJsonObject{{QStringLiteral("error"),
                                                   QJsonObject{{QStringLiteral("exit"), command.status},
                                                               {QStringLiteral("message"), command.reason}}}})
                            .toJson(QJsonDocument::Compact) +
                        '\n');
                return command.status;
            } else if constexpr (std::is_same_v<T, ReadOptions>) {
                return RunCliRead(command);
            } else if constexpr (std::is_same_v<T, WriteOptions>) {
                return RunCliWrite(command);
            } else if constexpr (std::is_same_v<T, ImitateOptions>) {
                return RunCliImitate(command);
            } else if constexpr (std::is_same_v<T, ListenOptions>) {
                return RunCliListen(command);
            } else if constexpr (std::is_same_v<T, ValidateOptions>) {
                return RunCliValidate(command);
            } else {
                return RunCliCheck(command);
            }
        },
        parsed);
}

} // namespace

int RunSubcommand(int argc, char** argv) {
    const QStringList arguments = ArgumentList(argc, argv);
    // A command line the parser refuses still answers a script that asked for JSON in JSON.
    SetOutputMode(
        {false, arguments.contains(QStringLiteral("--json")) || arguments.contains(QStringLiteral("-j"))});
    const ParsedCommand parsed = ParseSubcommand(arguments);
    if (std::holds_alternative<CliPrint>(parsed))
        return RunParsed(parsed);
    if (std::holds_alternative<CheckOptions>(parsed)) {
        // The report is drawn with Qt's painter, which needs a platform; the offscreen one needs no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // A remote shell often has no runtime folder; the platform's start would warn about it on
        // standard error, which scripts read. A private one (mode 0700) lives as long as the run.
        QTemporaryDir runtime;
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QGuiApplication app(argc, argv);
        return RunParsed(parsed);
    }
    // No platform plugin and no display: the line subcommands work over a remote shell.
    QCoreApplication app(argc, argv);
    return RunParsed(parsed);
}
