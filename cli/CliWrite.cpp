// rmz47 write: the configure job with a file in place of the operator at the form, then table 4 read
// back, since a script has nobody to look at the controller afterwards.
#include "CliCommand.h"
#include "CliJob.h"
#include "CliOptions.h"

#include "CfgFile.h"
#include "ConfigureJob.h"
#include "ConsoleView.h"

#include <QFileInfo>

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
std::optional<CfgFormValues> FileValues(const CliJob& job, const WriteOptions& options, const CfgContext& cfg,
                                        const CfgFormValues& form, int* status) {
    const CfgFileRead file = LoadCfgFile(options.file, cfg.SoftVersion);
    if (file.outcome != CfgFileRead::Outcome::Loaded) {
        *status = job.fail(kExitFile, file.message);
        return std::nullopt;
    }
    if (file.softVersion != cfg.SoftVersion && !options.yes &&
        !AskOnTerminal(
            OtherVersionQuestion(QFileInfo(options.file).fileName(), file.softVersion, cfg.SoftVersion))) {
        *status = job.fail(kExitFile,
                           QStringLiteral("файл для другой версии ПО не загружен (--yes загружает его)"));
        return std::nullopt;
    }
    return ApplyFileFields(form, file, cfg.SoftVersion);
}

// After an acknowledged write: table 4 read back is the record the write carried.
int ReadBack(const CliJob& job, ConsoleView& view, Link& link, const CfgContext& cfg,
             const CfgRecord& written) {
    CfgContext back = cfg;
    CfgJobReport report;
    if (!ReadConfigTable(view, link, back, report))
        return job.fail(kExitNoAnswer, QStringLiteral("конфигурация не прочитана после записи"));
    if (back.record.encode() != written.encode())
        return job.fail(kExitFailed,
                        QStringLiteral("прочитанная после записи конфигурация отличается от записанной"));
    return kExitDone;
}

} // namespace

int RunCliWrite(const WriteOptions& options) {
    CliJob job(QStringLiteral("write"));
    // A file that is no configuration at all is refused before the line is touched.
    const CfgFileRead early = LoadCfgFile(options.file, 0);
    if (early.outcome == CfgFileRead::Outcome::Foreign || early.outcome == CfgFileRead::Outcome::Damaged)
        return job.fail(kExitFile, early.message);
    if (const int opened = job.open(options.port); opened != kExitDone)
        return opened;
    ConsoleView view;
    int fileStatus = kExitDone;
    view.formAnswer = [&](CfgContext& cfg, const CfgFormValues& form) {
        return FileValues(job, options, cfg, form, &fileStatus);
    };
    CfgContext cfg;
    CfgJobReport report;
    RunConfigureJob(view, job.link, cfg, {}, [&](const CfgJobReport& done) {
        report = done;
        return RecordInJournal(JournalPath(), job.link, done);
    });
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
    return ReadBack(job, view, job.link, cfg, *report.written);
}
