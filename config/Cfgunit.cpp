#include "Cfgunit.h"

#include "CfgForm.h"
#include "JobView.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "Protocol.h"
#include "UiCommon.h"
#include "UserError.h"

#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <optional>

WizardForms CreateWizardForms() {
    WizardForms forms;
    forms.PodborForm1 = new TPodborForm1();
    forms.PodborForm2 = new TPodborForm2();
    return forms;
}

void DestroyWizardForms(WizardForms& forms) {
    delete forms.PodborForm1;
    delete forms.PodborForm2;
    forms = {};
}

namespace {
constexpr int kAttempts = 5;
constexpr quint8 kIdentTable = 0;
constexpr quint8 kStateTable = 7;
constexpr quint8 kCfgTable = 4;

const QString kCaptionMessage = QStringLiteral("Сообщение");

// While an exchange waits (a read dispatches window messages), no second job may start and overwrite the
// shared frame buffers: the job buttons are off for the exchange, and on again however it ends.
class JobButtonsOff {
public:
    explicit JobButtonsOff(JobView& view) : view_(view) { view_.setJobButtonsEnabled(false); }
    ~JobButtonsOff() { view_.setJobButtonsEnabled(true); }
    JobButtonsOff(const JobButtonsOff&) = delete;
    JobButtonsOff& operator=(const JobButtonsOff&) = delete;

private:
    JobView& view_;
};

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

// An exchange notices an adapter pulled or taken up again: the port panel's tooltip follows the device.
int Exchange(JobView& view, Link& link, bool pumpMessages) {
    const int count = Transact(link, view.dialogParent(), pumpMessages);
    ShowPortDevice(view, link);
    return count;
}

// Up to five attempts, back to back: a missing, short, corrupted or unacceptable answer leads to the next.
bool ReadTableWithRetries(JobView& view, Link& link, quint8 table, const std::function<bool(int count)>& accept) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int count = 0;
        {
            JobButtonsOff off(view);
            StepOnLine step(view, "чтение", table, attempt);
            BuildReadRequest(link, table);
            count = Exchange(view, link, true);
        }
        if (accept(count))
            return true;
    }
    return false;
}

// One table write of table 4. An answer that passes the frame checks ends the attempts; only the
// acknowledgement is a success.
bool WriteConfiguration(JobView& view, Link& link, const CfgContext& cfg) {
    quint8 body[proto::kConfigRecordSize];
    const int n = BuildCfgWriteBody(cfg, body);
    JobButtonsOff off(view);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        StepOnLine step(view, "запись", kCfgTable, attempt);
        BuildWriteRequest(link, kCfgTable, body, n);
        const int count = Exchange(view, link, false);
        if (AnswerFrameValid(link, count))
            return WriteAnswerIsAck(link);
    }
    return false;
}

void Inform(JobView& view, const QString& text) {
    ShowMessage(view.dialogParent(), text, kCaptionMessage, QMessageBox::Information);
}

// Tables 0, 7 and, on a configured controller, 4. False (after its message) when one cannot be read.
bool ReadControllerTables(JobView& view, Link& link, CfgContext& cfg, CfgJobReport& report) {
    const auto acceptIdent = [&](int n) {
        if (!AcceptIdentAnswer(link, n, cfg))
            return false;
        report.ident = QByteArray(reinterpret_cast<const char*>(link.AnswerBuffer.data()) + kAnswerDataOffset,
                                  AnswerDataLength(link));
        return true;
    };
    if (!ReadTableWithRetries(view, link, kIdentTable, acceptIdent)) {
        Inform(view, QStringLiteral("Не могу прочитать таблицу 0!"));
        return false;
    }
    report.softVersion = cfg.SoftVersion;
    report.result = CfgJobReport::Result::NoState;
    Inform(view, VersionMessage(cfg.SoftVersion));

    bool configured = false;
    if (!ReadTableWithRetries(view, link, kStateTable, [&](int n) { return AcceptStateAnswer(link, n, &configured); })) {
        Inform(view, QStringLiteral("Не могу прочитать таблицу 7!"));
        return false;
    }
    report.configured = configured;
    report.result = CfgJobReport::Result::NoConfig;
    cfg.CfgState = 1;
    if (!configured) {
        // Not a failure: the operator edits the defaults, and the wizard opens with the form.
        ShowMessage(view.dialogParent(), QStringLiteral("Устройство не законфигурировано!"),
                    QStringLiteral("Предупреждение!"), QMessageBox::Information);
        cfg.CfgState = 0;
    } else if (!ReadTableWithRetries(view, link, kCfgTable, [&](int n) { return AcceptCfgAnswer(link, n, cfg); })) {
        Inform(view, QStringLiteral("Can't read table 7!"));
        return false;
    } else {
        report.read = cfg.record;
    }
    return true;
}

// The form comes back with the operator's texts until every value passes or the operator cancels.
// Returns the line speed chosen for run 1 (-1 for none), nothing when the operator cancelled.
std::optional<int> EditInForm(JobView& view, CfgContext& cfg, WizardForms& wizard) {
    CfgFormValues values;
    TCfgForm form(cfg, wizard, view.dialogParent());
    RecordToForm(cfg, values);
    form.setValues(values);
    form.FlRadioGroupClick();
    cfg.VRangeSet = false;
    form.VEdit()->setEnabled(false);
    if (wizard.PodborForm1)
        wizard.PodborForm1->BitBtn1()->setVisible(false);
    for (;;) {
        if (form.exec() != QDialog::Accepted)
            return std::nullopt;
        values = form.values();
        try {
            FormToRecordChecked(cfg, values);
            form.setEditTexts(values);
            break;
        } catch (const UserError& e) {
            form.setEditTexts(values);
            ShowExceptionBox(view.dialogParent(), e.message());
        }
    }
    FormToRecordRest(cfg, values);
    return form.Speed1RadioGroup()->itemIndex();
}

// The job's steps, messages and exchanges; the report only watches them.
void RunConfigure(JobView& view, Link& link, CfgContext& cfg, WizardForms& wizard, const CfgConfirmed& confirmed,
                  CfgJobReport& report) {
    cfg.record = CfgRecord{};
    if (!ReadControllerTables(view, link, cfg, report))
        return;
    report.result = CfgJobReport::Result::Cancelled;
    const std::optional<int> speedIndex = EditInForm(view, cfg, wizard);
    if (!speedIndex)
        return;
    if (confirmed)
        confirmed(cfg.record, *speedIndex);

    report.written = cfg.record;
    if (WriteConfiguration(view, link, cfg)) {
        report.result = CfgJobReport::Result::Written;
        Inform(view, QStringLiteral("Конфигурация успешно записана!"));
    } else {
        report.result = CfgJobReport::Result::WriteFailed;
        ShowMessage(view.dialogParent(), QStringLiteral("Ошибка при записи конфигурации!"), QStringLiteral("Ошибка!"),
                    QMessageBox::Critical);
    }
}
} // namespace

void UstavkiButtonClick(JobView& view, Link& link, CfgContext& cfg, WizardForms& wizard, const CfgConfirmed& confirmed,
                        const CfgFinished& finished) {
    CfgJobReport report;
    RunConfigure(view, link, cfg, wizard, confirmed, report);
    if (finished)
        report.problems << finished(report);
    // A save that failed stops nothing; the operator hears of it once the job has said everything else.
    if (!report.problems.isEmpty())
        ShowMessage(view.dialogParent(), QStringLiteral("Не удалось сохранить:\n") + report.problems.join(QLatin1Char('\n')),
                    QStringLiteral("Ошибка!"), QMessageBox::Warning);
}
