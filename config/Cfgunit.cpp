#include "Cfgunit.h"

#include "CfgForm.h"
#include "ImitSettings.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "Protocol.h"
#include "UiCommon.h"
#include "UserError.h"

#include <QLineEdit>
#include <QPushButton>
#include <functional>

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
// shared frame buffers: the main window's job buttons are off for the exchange, and on again however
// it ends.
class JobButtonsOff {
public:
    explicit JobButtonsOff(QWidget* mainForm) : mainForm_(mainForm) {
        if (mainForm_)
            SetJobButtonsEnabled(mainForm_, false);
    }
    ~JobButtonsOff() {
        if (mainForm_)
            SetJobButtonsEnabled(mainForm_, true);
    }
    JobButtonsOff(const JobButtonsOff&) = delete;
    JobButtonsOff& operator=(const JobButtonsOff&) = delete;

private:
    QWidget* mainForm_;
};

// Up to five attempts, back to back: a missing, short, corrupted or unacceptable answer leads to the next.
bool ReadTableWithRetries(QWidget* mainForm, Link& link, quint8 table, const std::function<bool(int count)>& accept) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int count = 0;
        {
            JobButtonsOff off(mainForm);
            BuildReadRequest(link, table);
            count = Transact(link, mainForm, true);
        }
        if (accept(count))
            return true;
    }
    return false;
}

// One table write of table 4. An answer that passes the frame checks ends the attempts; only the
// acknowledgement (function 0x82, length 10) is a success.
bool WriteConfiguration(QWidget* mainForm, Link& link, const CfgContext& cfg) {
    quint8 body[kCfgRecordSize];
    const int n = BuildCfgWriteBody(cfg, body);
    JobButtonsOff off(mainForm);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        BuildWriteRequest(link, kCfgTable, body, n);
        const int count = Transact(link, mainForm, false);
        auto& a = link.AnswerBuffer;
        if (count <= 0 || a[2] < 6 || !CheckAnswer(a.data(), a.size(), count))
            continue;
        return a[3] == 0x82 && a[2] == 10;
    }
    return false;
}
} // namespace

void UstavkiButtonClick(QWidget* mainForm, Link& link, CfgContext& cfg, ImitSettings& imit, WizardForms& wizard) {
    cfg.record = CfgRecord{};

    if (!ReadTableWithRetries(mainForm, link, kIdentTable, [&](int n) { return AcceptIdentAnswer(link, n, cfg); })) {
        ShowMessage(mainForm, QStringLiteral("Не могу прочитать таблицу 0!"), kCaptionMessage, QMessageBox::Information);
        return;
    }
    ShowMessage(mainForm, VersionMessage(cfg.SoftVersion), kCaptionMessage, QMessageBox::Information);

    bool configured = false;
    if (!ReadTableWithRetries(mainForm, link, kStateTable, [&](int n) { return AcceptStateAnswer(link, n, &configured); })) {
        ShowMessage(mainForm, QStringLiteral("Не могу прочитать таблицу 7!"), kCaptionMessage, QMessageBox::Information);
        return;
    }
    cfg.CfgState = 1;
    if (!configured) {
        // Not a failure: the operator edits the defaults, and the wizard opens with the form.
        ShowMessage(mainForm, QStringLiteral("Устройство не законфигурировано!"), QStringLiteral("Предупреждение!"),
                    QMessageBox::Information);
        cfg.CfgState = 0;
    } else if (!ReadTableWithRetries(mainForm, link, kCfgTable, [&](int n) { return AcceptCfgAnswer(link, n, cfg); })) {
        ShowMessage(mainForm, QStringLiteral("Can't read table 7!"), kCaptionMessage, QMessageBox::Information);
        return;
    }

    CfgFormValues values;
    {
        TCfgForm form(cfg, wizard, mainForm);
        RecordToForm(cfg, values);
        form.setValues(values);
        form.FlRadioGroupClick();
        cfg.VRangeSet = false;
        form.VEdit()->setEnabled(false);
        if (wizard.PodborForm1)
            wizard.PodborForm1->BitBtn1()->setVisible(false);

        // The form comes back with the operator's texts until every value passes or the operator cancels.
        for (;;) {
            if (form.exec() != QDialog::Accepted)
                return;
            values = form.values();
            try {
                FormToRecordChecked(cfg, values);
                form.setEditTexts(values);
                break;
            } catch (const UserError& e) {
                form.setEditTexts(values);
                ShowExceptionBox(mainForm, e.message());
            }
        }
        FormToRecordRest(cfg, values);
        imit.ImitSpeedIndex = form.Speed1RadioGroup()->itemIndex();
    }

    // A following imitation answers for the runs just configured.
    imit.ImitFlIndex = quint8(cfg.record.FlCount - 1);
    for (int i = 0; i < 3; ++i) {
        imit.ImitAddr[i] = cfg.record.Addr[i];
        imit.ImitNitka[i] = cfg.record.Nitka[i];
    }

    if (WriteConfiguration(mainForm, link, cfg))
        ShowMessage(mainForm, QStringLiteral("Конфигурация успешно записана!"), kCaptionMessage, QMessageBox::Information);
    else
        ShowMessage(mainForm, QStringLiteral("Ошибка при записи конфигурации!"), QStringLiteral("Ошибка!"), QMessageBox::Critical);
}
