// rmz47 write: the configure job with a file in place of the operator at the form, then table 4 read
// back, since a script has nobody to look at the controller afterwards.
#include "CliCommand.h"
#include "CliJob.h"
#include "CliOptions.h"
#include "CliOutput.h"

#include "CfgFile.h"
#include "CfgJson.h"
#include "ConfigureJob.h"
#include "ConsoleView.h"
#include "UserError.h"

#include <QJsonArray>

namespace {

// An exchange that never brought a whole, sound answer: the link's fault or a frame fault.
bool NoAnswer(const CfgExchange& exchange) {
    using proto::AnswerOutcome;
    for (AnswerOutcome outcome :
         {AnswerOutcome::Ok, AnswerOutcome::Silence, AnswerOutcome::BadLength, AnswerOutcome::CutShort,
          AnswerOutcome::BadCrc, AnswerOutcome::WrongFunction, AnswerOutcome::WrongCount})
        if (exchange.outcome == QLatin1String(proto::OutcomeName(outcome)))
            return proto::IsFrameFault(outcome);
    return exchange.outcome != QLatin1String("refused");
}

// The file as the form loads it for the controller's version; nothing (and *status set) when it is
// refused or another version is not confirmed.
std::optional<CfgFormValues> FileValues(const CliJob& job, const WriteOptions& options,
                                        const QByteArray& bytes, const CfgContext& cfg,
                                        const CfgFormValues& form, int* status) {
    const CfgFileRead file = ReadCfgFile(bytes, cfg.SoftVersion, OwnFileName(options.file));
    if (file.outcome != CfgFileRead::Outcome::Loaded) {
        *status = job.fail(kExitFile, file.message);
        return std::nullopt;
    }
    if (file.softVersion != cfg.SoftVersion && !options.yes &&
        !AskOnTerminal(OtherVersionQuestion(OwnFileName(options.file), file.softVersion, cfg.SoftVersion))) {
        *status = job.fail(kExitFile,
                           QStringLiteral("файл для другой версии ПО не загружен (--yes загружает его)"));
        return std::nullopt;
    }
    return ApplyFileFields(form, file, cfg.SoftVersion);
}

// After an acknowledged write: table 4 read back is the record the write carried. The outcome goes into
// the report, whose journal entry is made afterwards.
int ReadBack(const CliJob& job, ConsoleView& view, Link& link, const CfgContext& cfg, CfgJobReport& written) {
    CfgContext back = cfg;
    CfgJobReport report;
    if (!ReadConfigTable(view, link, back, report)) {
        written.check = CfgJobReport::Check::NoAnswer;
        return job.fail(kExitNoAnswer, QStringLiteral("конфигурация не прочитана после записи"));
    }
    written.readBack = back.record;
    if (back.record.encode() == written.written->encode()) {
        written.check = CfgJobReport::Check::Matched;
        return kExitDone;
    }
    written.check = CfgJobReport::Check::Differs;
    return job.fail(
        kExitFailed,
        QStringLiteral("прочитанная после записи конфигурация отличается от записанной: ") +
            DifferingFields(*written.written, back.record, cfg.SoftVersion).join(QStringLiteral(", ")));
}

// --dry-run: the record the file would make, by the form's own checks, against the one the controller
// holds, field by field with the old and new value. kExitDone, or kExitFile when the form refuses a value.
int ShowChanges(const CliJob& job, const CfgContext& cfg, CfgFormValues values) {
    CfgContext next = cfg;
    try {
        FormToRecordChecked(next, values);
    } catch (const UserError& e) {
        return job.fail(kExitFile,
                        QStringLiteral("значение в файле не принято формой: ") + e.message().trimmed());
    }
    FormToRecordRest(next, values);
    const QJsonObject before = RecordToJson(cfg.record, cfg.SoftVersion);
    const QJsonObject after = RecordToJson(next.record, cfg.SoftVersion);
    QJsonArray changes;
    QString text;
    for (const QString& key : DifferingFields(cfg.record, next.record, cfg.SoftVersion)) {
        const QJsonObject old = before.value(key).toObject(), now = after.value(key).toObject();
        changes.append(QJsonObject{{QStringLiteral("field"), key},
                                   {QStringLiteral("old"), old.value(QStringLiteral("value"))},
                                   {QStringLiteral("new"), now.value(QStringLiteral("value"))},
                                   {QStringLiteral("unit"), now.value(QStringLiteral("unit"))}});
        text += QStringLiteral("  %1: %2 → %3\n").arg(key, FieldText(old), FieldText(now));
    }
    if (CurrentOutputMode().json)
        PrintJson(
            {{QStringLiteral("kind"), QStringLiteral("dry_run")}, {QStringLiteral("changes"), changes}});
    else if (changes.isEmpty())
        PrintOut(QStringLiteral("Изменений нет: контроллер уже хранит эту конфигурацию.\n"));
    else
        PrintOut(QStringLiteral("Запись изменила бы поля (записано ничего не было):\n") + text);
    return kExitDone;
}

// The job's result as a status; kExitDone for a write, which the read-back then judges.
int WriteStatus(const CliJob& job, const CfgJobReport& report, int fileStatus) {
    using Result = CfgJobReport::Result;
    switch (report.result) {
    case Result::NoIdent:
    case Result::NoState:
    case Result::NoConfig:
        return job.fail(kExitNoAnswer, QStringLiteral("контроллер не ответил"));
    case Result::Cancelled:
        return fileStatus != kExitDone
                   ? fileStatus
                   : job.fail(kExitFile, QStringLiteral("значение в файле не принято формой"));
    case Result::WriteFailed:
        if (!report.exchanges.isEmpty() && NoAnswer(report.exchanges.constLast()))
            return job.fail(kExitNoAnswer, QStringLiteral("нет ответа на запись конфигурации"));
        return job.fail(kExitFailed, QStringLiteral("ответ на запись конфигурации — не подтверждение"));
    case Result::Written:
        break;
    }
    return kExitDone;
}

} // namespace

int RunCliWrite(const WriteOptions& options) {
    CliJob job(QStringLiteral("write"));
    // Read once ("-" is standard input), and a file that is no configuration at all is refused before the
    // line is touched.
    CfgFileRead refusal;
    const std::optional<QByteArray> bytes = LoadCfgBytes(options.file, &refusal);
    if (!bytes)
        return job.fail(kExitFile, refusal.message);
    if (const CfgFileRead early = ReadCfgFileAlone(*bytes, OwnFileName(options.file));
        early.outcome != CfgFileRead::Outcome::Loaded)
        return job.fail(kExitFile, early.message, early.field);
    if (const int opened = job.open(options.port); opened != kExitDone)
        return opened;
    ConsoleView view;
    int fileStatus = kExitDone;
    std::optional<int> dryRun; // the status of a dry run, once it has compared
    view.formAnswer = [&](CfgContext& cfg, const CfgFormValues& form) -> std::optional<CfgFormValues> {
        std::optional<CfgFormValues> values = FileValues(job, options, *bytes, cfg, form, &fileStatus);
        if (!values || !options.dryRun)
            return values;
        dryRun = ShowChanges(job, cfg, *values);
        return std::nullopt; // left at the form: nothing is written
    };
    CfgContext cfg;
    CfgJobReport report;
    RunConfigureJob(view, job.link, cfg, {}, [&](const CfgJobReport& done) {
        report = done;
        // A written record's entry waits for the read-back, so that it says whether the controller holds
        // it; a dry run wrote nothing worth an entry.
        if (dryRun || done.result == CfgJobReport::Result::Written)
            return QStringList();
        return RecordInJournal(JournalPath(), job.link, done);
    });
    if (dryRun)
        return *dryRun;
    int status = WriteStatus(job, report, fileStatus);
    if (report.result != CfgJobReport::Result::Written)
        return status;
    status = ReadBack(job, view, job.link, cfg, report);
    const QStringList failed = RecordInJournal(JournalPath(), job.link, report);
    for (const QString& save : failed)
        job.fail(kExitFile, QStringLiteral("не сохранено: ") + save);
    return status == kExitDone && !failed.isEmpty() ? kExitFile : status;
}
