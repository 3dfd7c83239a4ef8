#include "ConfigureJob.h"

#include "CfgView.h"
#include "JobCommon.h"
#include "Protocol.h"
#include "UserError.h"

#include <functional>
#include <optional>

namespace {
constexpr int kAttempts = 5;
constexpr quint8 kIdentTable = 0;
constexpr quint8 kStateTable = 7;
constexpr quint8 kCfgTable = 4;

const QString kCaptionMessage = QStringLiteral("Сообщение");

// The exchange's step for the operator who waits (the busy cursor, the line monitor's status line), for
// as long as the exchange is on the line: never while a box waits for the operator.
class StepOnLine {
public:
    StepOnLine(JobView& view, const char* what, quint8 table, int attempt) : view_(view) {
        view_.showProgress(QStringLiteral("%1 таблицы %2, попытка %3 из %4")
                               .arg(QString::fromUtf8(what))
                               .arg(table)
                               .arg(attempt + 1)
                               .arg(kAttempts));
    }
    ~StepOnLine() { view_.showProgress(QString()); }
    StepOnLine(const StepOnLine&) = delete;
    StepOnLine& operator=(const StepOnLine&) = delete;

private:
    JobView& view_;
};

// The exchange and what it turned out to be, for the journal: the link's fault or the answer's outcome,
// and an answer sound on the line that the table's own rules refused.
void Note(CfgJobReport& report, quint8 function, quint8 table, const Reply& reply, bool accepted) {
    const bool refused = reply.ok() && !accepted;
    report.exchanges.push_back(
        {function, table, QString::fromLatin1(refused ? "refused" : OutcomeName(reply))});
}

// Up to five attempts, back to back: a missing, short, corrupted or unacceptable answer leads to the next.
bool ReadTableWithRetries(JobView& view, Link& link, quint8 table,
                          const std::function<bool(const Reply&)>& accept, CfgJobReport& report) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Reply reply;
        {
            StepOnLine step(view, "чтение", table, attempt);
            reply = ReadTable(link, nullptr, table);
            ShowPortDevice(view, link); // an adapter pulled or back: the port panel's tooltip follows it
        }
        const bool accepted = accept(reply);
        Note(report, proto::kFnReadTable, table, reply, accepted);
        if (accepted)
            return true;
    }
    return false;
}

} // namespace

// One table write of table 4. Only an answer that never arrived whole and sound is tried again: any other
// is the controller's word, and only the acknowledgement is a success.
bool WriteConfiguration(JobView& view, Link& link, const CfgContext& cfg, CfgJobReport& report) {
    quint8 body[proto::kConfigRecordSize];
    const int n = BuildCfgWriteBody(cfg, body);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        StepOnLine step(view, "запись", kCfgTable, attempt);
        const Reply reply = WriteTable(link, nullptr, kCfgTable, {body, std::size_t(n)});
        ShowPortDevice(view, link);
        Note(report, proto::kFnWriteTable, kCfgTable, reply, reply.ok());
        if (!reply.frameFault())
            return reply.ok();
    }
    return false;
}

namespace {

void Inform(JobView& view, const QString& text) {
    view.tell(Notice::Information, kCaptionMessage, text);
}

} // namespace

bool ReadConfigTable(JobView& view, Link& link, CfgContext& cfg, CfgJobReport& report) {
    return ReadTableWithRetries(
        view, link, kCfgTable, [&](const Reply& reply) { return AcceptCfgAnswer(reply.answer, cfg); },
        report);
}

bool ReadControllerTables(JobView& view, Link& link, CfgContext& cfg, CfgJobReport& report) {
    const auto acceptIdent = [&](const Reply& reply) {
        if (!AcceptIdentAnswer(reply.answer, cfg))
            return false;
        const auto data = reply.answer.data;
        report.ident = QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
        return true;
    };
    if (!ReadTableWithRetries(view, link, kIdentTable, acceptIdent, report)) {
        Inform(view, QStringLiteral("Не могу прочитать таблицу 0!"));
        return false;
    }
    report.softVersion = cfg.SoftVersion;
    report.result = CfgJobReport::Result::NoState;
    Inform(view, VersionMessage(cfg.SoftVersion));

    bool configured = false;
    const auto acceptState = [&](const Reply& reply) { return AcceptStateAnswer(reply.answer, &configured); };
    if (!ReadTableWithRetries(view, link, kStateTable, acceptState, report)) {
        Inform(view, QStringLiteral("Не могу прочитать таблицу 7!"));
        return false;
    }
    report.configured = configured;
    report.result = CfgJobReport::Result::NoConfig;
    cfg.CfgState = 1;
    if (!configured) {
        // Not a failure: the operator edits the defaults, and the wizard opens with the form.
        // A warning caption over the information icon: the box as operators have always seen it.
        view.tell(Notice::Information, QStringLiteral("Предупреждение!"),
                  QStringLiteral("Устройство не законфигурировано!"));
        cfg.CfgState = 0;
    } else if (!ReadConfigTable(view, link, cfg, report)) {
        Inform(view, QStringLiteral("Can't read table 7!"));
        return false;
    } else {
        report.read = cfg.record;
    }
    return true;
}

namespace {

// The form comes back with the operator's texts until every value passes or the operator cancels.
// Returns the line speed chosen for run 1 (-1 for none), nothing when the operator cancelled.
std::optional<int> EditInForm(ConfigureView& view, CfgContext& cfg) {
    CfgFormValues values;
    RecordToForm(cfg, values);
    cfg.VRangeSet = false;
    const std::unique_ptr<CfgFormSession> form = view.openCfgForm(cfg, values);
    for (;;) {
        std::optional<CfgFormValues> entered = form->confirm();
        if (!entered)
            return std::nullopt;
        values = *entered;
        try {
            FormToRecordChecked(cfg, values);
            form->keepTexts(values);
            break;
        } catch (const UserError& e) {
            form->keepTexts(values);
            // The standard exception box, as for any value refused in a dialog.
            view.tell(Notice::Error, ApplicationTitle(), ExceptionBoxText(e.message()));
        }
    }
    FormToRecordRest(cfg, values);
    return values.speedIndex[0];
}

// The job's steps, messages and exchanges; the report only watches them.
void RunConfigure(ConfigureView& view, Link& link, CfgContext& cfg, const CfgConfirmed& confirmed,
                  CfgJobReport& report) {
    cfg.record = CfgRecord{};
    if (!ReadControllerTables(view, link, cfg, report))
        return;
    report.result = CfgJobReport::Result::Cancelled;
    const std::optional<int> speedIndex = EditInForm(view, cfg);
    if (!speedIndex)
        return;
    if (confirmed)
        confirmed(cfg.record, *speedIndex);

    report.written = cfg.record;
    if (WriteConfiguration(view, link, cfg, report)) {
        report.result = CfgJobReport::Result::Written;
        Inform(view, QStringLiteral("Конфигурация успешно записана!"));
    } else {
        report.result = CfgJobReport::Result::WriteFailed;
        view.tell(Notice::Error, QStringLiteral("Ошибка!"),
                  QStringLiteral("Ошибка при записи конфигурации!"));
    }
}
} // namespace

void RunConfigureJob(ConfigureView& view, Link& link, CfgContext& cfg, const CfgConfirmed& confirmed,
                     const CfgFinished& finished) {
    CfgJobReport report;
    RunConfigure(view, link, cfg, confirmed, report);
    if (finished)
        report.problems << finished(report);
    TellFailedSaves(view, report.problems);
}
