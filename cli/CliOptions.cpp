#include "CliOptions.h"
#include "CliValues.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace {

const QString kProgram = QStringLiteral("rmz47");

struct OptionEntry {
    QString name;
    QString valueName; // empty: a flag
    QString description;
    QString shortName = {}; // one letter, or empty
};

struct SubcommandEntry {
    QString name;
    QString arguments; // the positional arguments in the synopsis
    QString summary;
    QList<OptionEntry> options;
    QString example;
};

const OptionEntry kPort{
    QStringLiteral("port"), QStringLiteral("УСТРОЙСТВО"),
    QStringLiteral("последовательный порт: путь (./x, /dev/pts/3) или короткое имя в /dev "
                   "(ttyUSB0)"),
    QStringLiteral("p")};
const OptionEntry kQuiet{QStringLiteral("quiet"), QString(), QStringLiteral("печатать только ошибки"),
                         QStringLiteral("q")};
const OptionEntry kCom{QStringLiteral("com"), QStringLiteral("N"),
                       QStringLiteral("порт COMN по сопоставлению из файла настроек (1..8)")};
const OptionEntry kJson{QStringLiteral("json"), QString(),
                        QStringLiteral("вывод в формате JSON; при ошибке объект {\"error\": …}"),
                        QStringLiteral("j")};
const OptionEntry kSpeed{QStringLiteral("speed"), QStringLiteral("БОД"),
                         QStringLiteral("скорость линии: 600, 1200 (по умолчанию), 2400, 3200, 4800, 6400, "
                                        "7680, 9600, 12800, 19200 или 38400")};
const OptionEntry kFor{QStringLiteral("for"), QStringLiteral("ВРЕМЯ"),
                       QStringLiteral("закончить через это время: число и единица ms, s, min или h")};

const SubcommandEntry kRead{
    QStringLiteral("read"),
    QString(),
    QStringLiteral("Читает идентификацию, состояние и конфигурацию контроллера."),
    {kPort,
     kCom,
     kJson,
     {QStringLiteral("output"), QStringLiteral("ФАЙЛ"),
      QStringLiteral("записать конфигурацию в файл («-»: в стандартный вывод)"), QStringLiteral("o")},
     kQuiet},
    QStringLiteral("rmz47 read --port ttyUSB0 --output kp12.json")};
const SubcommandEntry kWrite{
    QStringLiteral("write"),
    QStringLiteral("ФАЙЛ"),
    QStringLiteral("Записывает в контроллер конфигурацию из файла и проверяет её чтением."),
    {kPort,
     kCom,
     {QStringLiteral("yes"), QString(),
      QStringLiteral("принять файл другой версии ПО с тем же составом полей без вопроса")},
     {QStringLiteral("dry-run"), QString(),
      QStringLiteral("прочитать контроллер и показать поля, которые изменятся, ничего не записывая")},
     kJson,
     kQuiet},
    QStringLiteral("rmz47 write kp12.json --com 1")};
const SubcommandEntry kValidate{
    QStringLiteral("validate"),
    QStringLiteral("ФАЙЛ"),
    QStringLiteral("Проверяет файл конфигурации или плана проверки без контроллера и показывает, что в нём."),
    {kJson, kQuiet},
    QStringLiteral("rmz47 validate kp12.json")};
const SubcommandEntry kImitate{
    QStringLiteral("imitate"),
    QString(),
    QStringLiteral("Имитирует ответы вычислителей расхода (до трёх ниток)."),
    {kPort,
     kCom,
     {QStringLiteral("run"), QStringLiteral("АДР:НИТКА:РАСХОД[:msb|:lsb]"),
      QStringLiteral("имитируемая нитка, расход в м3/ч (до трёх раз)")},
     kSpeed,
     kFor,
     {QStringLiteral("pulses"), QStringLiteral("N"),
      QStringLiteral("закончить, когда ожидаемое число импульсов достигнет N")},
     {QStringLiteral("pulse-value"), QStringLiteral("V"), QStringLiteral("цена импульса, м3")},
     kJson,
     kQuiet},
    QStringLiteral("rmz47 imitate --run 1:1:120.5 --run 2:1:80:lsb --for 10min")};
const SubcommandEntry kListen{QStringLiteral("listen"),
                              QString(),
                              QStringLiteral("Читает обмен на линии, ничего не передавая."),
                              {kPort,
                               kCom,
                               kSpeed,
                               {QStringLiteral("order"), QStringLiteral("АДР:НИТКА:msb|lsb"),
                                QStringLiteral("порядок байтов в ответах этой нитки")},
                               kFor,
                               kJson,
                               kQuiet},
                              QStringLiteral("rmz47 listen --port ttyUSB0 --for 1h --json")};
const SubcommandEntry kCheck{
    QStringLiteral("check"),
    QStringLiteral("ПЛАН"),
    QStringLiteral("Проводит проверку на стенде по файлу плана."),
    {kPort,
     kCom,
     {QStringLiteral("counted"), QStringLiteral("N,N,…"),
      QStringLiteral("сосчитанные импульсы по шагам; иначе спрашиваются в терминале")},
     {QStringLiteral("report"), QStringLiteral("ФАЙЛ"), QStringLiteral("записать протокол проверки (PDF)")},
     {QStringLiteral("use-controller"), QString(),
      QStringLiteral("если план не совпадает с конфигурацией контроллера, проверять по ней")},
     kJson,
     kQuiet},
    QStringLiteral("rmz47 check plan.json --counted 1200,600 --report protokol.pdf")};

const SubcommandEntry* const kSubcommands[] = {&kRead, &kWrite, &kImitate, &kListen, &kCheck, &kValidate};

const SubcommandEntry* FindSubcommand(const QString& name) {
    for (const SubcommandEntry* command : kSubcommands)
        if (command->name == name)
            return command;
    return nullptr;
}

const QString kExitCodes =
    QStringLiteral("Коды завершения:\n"
                   "  0    выполнено (imitate и listen: также по --for, по цели или по сигналу)\n"
                   "  1    шаг проверки «не годен», ответ не подтверждение, прочитанное после записи "
                   "отличается\n"
                   "  2    ошибка в командной строке\n"
                   "  3    нет верного ответа после всех попыток\n"
                   "  4    порт не открывается\n"
                   "  5    файл не принят; план проверки не совпадает с конфигурацией контроллера\n"
                   "  130  проверка прервана\n");

QString OptionTitle(const OptionEntry& option) {
    return (option.shortName.isEmpty() ? QStringLiteral("    ")
                                       : QStringLiteral("-%1, ").arg(option.shortName)) +
           QStringLiteral("--") + option.name +
           (option.valueName.isEmpty() ? QString() : QStringLiteral(" ") + option.valueName);
}

QStringList OptionNames(const OptionEntry& option) {
    return option.shortName.isEmpty() ? QStringList{option.name} : QStringList{option.shortName, option.name};
}

QString HelpText(const SubcommandEntry& command) {
    QString text = QStringLiteral("Использование: %1 %2%3 [параметры]\n%4\n\nПараметры:\n")
                       .arg(kProgram, command.name,
                            command.arguments.isEmpty() ? QString() : QStringLiteral(" ") + command.arguments,
                            command.summary);
    qsizetype width = QStringLiteral("-h, --help").size();
    for (const OptionEntry& option : command.options)
        width = std::max(width, OptionTitle(option).size());
    for (const OptionEntry& option : command.options)
        text += QStringLiteral("  %1  %2\n").arg(OptionTitle(option), -int(width)).arg(option.description);
    text +=
        QStringLiteral("  %1  показать эту справку и выйти\n").arg(QStringLiteral("-h, --help"), -int(width));
    return text + QStringLiteral("\nПример:\n  %1\n\n").arg(command.example) + kExitCodes;
}

CliPrint Usage(const QString& subcommand, const QString& why) {
    const QString help =
        subcommand.isEmpty() ? QString() : QStringLiteral("%1 %2 --help").arg(kProgram, subcommand);
    QString text =
        QStringLiteral("%1%2: %3\n")
            .arg(kProgram, subcommand.isEmpty() ? QString() : QStringLiteral(" ") + subcommand, why);
    if (!help.isEmpty())
        text += QStringLiteral("Справка: %1\n").arg(help);
    return {kExitUsage, text, why};
}

template <typename Options> using Converter = Options (*)(OptionReader&, const QStringList&);

template <typename Options>
ParsedCommand Convert(const SubcommandEntry& command, const QCommandLineParser& parser,
                      Converter<Options> convert) {
    const QStringList positional = parser.positionalArguments();
    const int wanted = command.arguments.isEmpty() ? 0 : 1;
    if (positional.size() > wanted)
        return Usage(command.name, QStringLiteral("лишний аргумент «%1»").arg(positional.value(wanted)));
    if (positional.size() < wanted)
        return Usage(command.name, QStringLiteral("не задан %1").arg(command.arguments));
    OptionReader reader{parser, {}};
    Options options = convert(reader, positional);
    if (!reader.error.isEmpty())
        return Usage(command.name, reader.error);
    return options;
}

} // namespace

ParsedCommand ParseSubcommand(const QStringList& arguments) {
    const QString name = arguments.value(1);
    const SubcommandEntry* command = FindSubcommand(name);
    if (!command)
        return Usage(QString(), QStringLiteral("неизвестная команда «%1»; %2").arg(name, SubcommandNames()));
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    for (const OptionEntry& option : command->options)
        parser.addOption(QCommandLineOption(OptionNames(option), option.description, option.valueName));
    QStringList rest = arguments.mid(2);
    rest.prepend(arguments.value(0));
    if (!parser.parse(rest)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return Usage(
                name, QStringLiteral("неизвестный параметр «%1%2»")
                          .arg(unknown.constFirst().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"),
                               unknown.constFirst()));
        return Usage(name, ParserErrorText(parser.errorText()));
    }
    if (parser.isSet(help))
        return CliPrint{kExitDone, HelpText(*command)};
    SetOutputMode({parser.isSet(QStringLiteral("quiet")), parser.isSet(QStringLiteral("json"))});
    if (command == &kRead)
        return Convert<ReadOptions>(*command, parser, ToRead);
    if (command == &kWrite)
        return Convert<WriteOptions>(*command, parser, ToWrite);
    if (command == &kImitate)
        return Convert<ImitateOptions>(*command, parser, ToImitate);
    if (command == &kListen)
        return Convert<ListenOptions>(*command, parser, ToListen);
    if (command == &kValidate)
        return Convert<ValidateOptions>(*command, parser, ToValidate);
    return Convert<CheckOptions>(*command, parser, ToCheck);
}

bool IsSubcommand(const QStringList& arguments) {
    return FindSubcommand(arguments.value(1)) != nullptr;
}

QString ExitCodesHelp() {
    return kExitCodes;
}

QString SubcommandNames() {
    QStringList names;
    for (const SubcommandEntry* command : kSubcommands)
        names << command->name;
    return QStringLiteral("команды: ") + names.join(QStringLiteral(", "));
}

QString SubcommandsHelp() {
    QString text =
        QStringLiteral("\nКоманды (без окна; справка по каждой: %1 КОМАНДА --help):\n").arg(kProgram);
    for (const SubcommandEntry* command : kSubcommands)
        text += QStringLiteral("  %1  %2\n").arg(command->name, -8).arg(command->summary);
    return text;
}

QString ParserErrorText(const QString& english) {
    static const QRegularExpression kMissing(QStringLiteral("^Missing value after '(.*)'\\.$"));
    static const QRegularExpression kUnexpected(QStringLiteral("^Unexpected value after '(.*)'\\.$"));
    if (const QRegularExpressionMatch m = kMissing.match(english); m.hasMatch())
        return QStringLiteral("после «%1» не задано значение").arg(m.captured(1));
    if (const QRegularExpressionMatch m = kUnexpected.match(english); m.hasMatch())
        return QStringLiteral("«%1» задаётся без значения").arg(m.captured(1));
    return QStringLiteral("ошибка в командной строке: %1").arg(english);
}

QStringList ArgumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

namespace {
OutputMode g_mode;
} // namespace

void SetOutputMode(const OutputMode& mode) {
    g_mode = mode;
}

const OutputMode& CurrentOutputMode() {
    return g_mode;
}

void PrintOut(const QString& text) {
    if (!g_mode.quiet)
        PrintData(text.toUtf8());
}

void PrintData(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void PrintFailure(const QString& subcommand, int status, const QString& message, const QString& field) {
    PrintError(
        QStringLiteral("%1%2: %3\n")
            .arg(kProgram, subcommand.isEmpty() ? QString() : QStringLiteral(" ") + subcommand, message));
    if (!g_mode.json || status == kExitDone)
        return;
    QJsonObject error{{QStringLiteral("exit"), status}, {QStringLiteral("message"), message}};
    if (!field.isEmpty())
        error.insert(QStringLiteral("field"), field);
    PrintData(QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson(QJsonDocument::Compact) +
              '\n');
}

void PrintError(const QString& text) {
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}
