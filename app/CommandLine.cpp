#include "CommandLine.h"

#include "CliOptions.h"
#include "Version.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>

namespace {

const QString kProgram = QStringLiteral("rmz47");

// The program's own options; the help lists them in this order.
struct OwnOption {
    QStringList names;
    QString description;
};
const OwnOption kHelp{{QStringLiteral("h"), QStringLiteral("help")},
                      QStringLiteral("показать эту справку и выйти")};
const OwnOption kVersion{{QStringLiteral("v"), QStringLiteral("version")},
                         QStringLiteral("показать версию программы и выйти")};
const OwnOption kMonitor{{QStringLiteral("monitor")},
                         QStringLiteral("открыть окно «Обмен по линии» при запуске")};
const OwnOption* const kOwnOptions[] = {&kHelp, &kVersion, &kMonitor};

// Options that Qt's own start-up reads (QGuiApplication, QApplication, the X11 platform): a session
// manager restarts a program with -session, and -platform or -style work with every Qt program. They
// are accepted here, left out of the help, and read by QApplication from the same arguments.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},        {"qwindowtitle", true},  {"session", true},
    {"display", true},         {"geometry", true},           {"style", true},         {"stylesheet", true},
    {"reverse", false},        {"widgetcount", false},
};

QString OptionNames(const OwnOption& option) {
    QStringList shown;
    for (const QString& name : option.names)
        shown << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    return shown.join(QStringLiteral(", "));
}

QString HelpText() {
    qsizetype width = 0;
    for (const OwnOption* option : kOwnOptions)
        width = std::max(width, OptionNames(*option).size());
    QString text = QStringLiteral("Использование: %1 [параметры]\n"
                                  "       %1 КОМАНДА [параметры]\n"
                                  "Силовой контроллер RMZ-47: конфигурирование контроллера и имитация "
                                  "ответов Сантар.\n\nПараметры:\n")
                       .arg(kProgram);
    for (const OwnOption* option : kOwnOptions)
        text += QStringLiteral("  %1  %2\n").arg(OptionNames(*option), -int(width)).arg(option->description);
    text += SubcommandsHelp() + QLatin1Char('\n') + ExitCodesHelp();
    text +=
        QStringLiteral("\nФайл настроек: $RMZ47_SETTINGS, если задан, иначе marvil.ini в $XDG_CONFIG_HOME "
                       "(по умолчанию ~/.config).\n");
    return text;
}

StartOptions ExitWith(int status, const QString& text) {
    StartOptions result;
    result.exitNow = true;
    result.exitStatus = status;
    result.text = text;
    return result;
}

// One line saying what is wrong and one pointing to the help: a script's log keeps the reason in sight.
StartOptions UsageError(const QCommandLineParser& parser) {
    QString why;
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        why = QStringLiteral("неизвестный параметр «%1%2»")
                  .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    } else if (!parser.positionalArguments().isEmpty()) {
        why = QStringLiteral("неизвестная команда «%1» (%2)")
                  .arg(parser.positionalArguments().constFirst(), SubcommandNames());
    } else {
        why = ParserErrorText(parser.errorText());
    }
    return ExitWith(2, QStringLiteral("%1: %2\nСправка: %1 --help\n").arg(kProgram, why));
}

} // namespace

StartOptions ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's options are single-dash words (-platform, -session): read them whole, not as -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(kHelp.names, kHelp.description);
    const QCommandLineOption version(kVersion.names, kVersion.description);
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption monitor(kMonitor.names, kMonitor.description);
    parser.addOption(monitor);
    for (const QtOption& qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name), QString(),
                                  qt.takesValue ? QStringLiteral("value") : QString());
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    // The program takes no file or other argument: a stray word is a mistake worth reporting.
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty())
        return UsageError(parser);
    if (parser.isSet(help))
        return ExitWith(0, HelpText());
    if (parser.isSet(version))
        return ExitWith(0, QStringLiteral("%1 %2\n").arg(kProgram, QStringLiteral(RMZ47_VERSION)));
    StartOptions start;
    start.openMonitor = parser.isSet(monitor);
    return start;
}

int PrintStartMessage(const StartOptions& options) {
    std::FILE* out = options.exitStatus == 0 ? stdout : stderr;
    std::fputs(options.text.toUtf8().constData(), out);
    std::fflush(out);
    return options.exitStatus;
}

QString NoDisplayMessage() {
    // A platform named outright (offscreen, vnc, ...) needs no display of this kind.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return {};
    return QStringLiteral("%1: окну нужен графический сеанс (не заданы DISPLAY и WAYLAND_DISPLAY); без окна "
                          "работают %2. Справка: %1 --help\n")
        .arg(kProgram, SubcommandNames());
}
