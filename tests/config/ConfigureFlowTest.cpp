// The configure job end to end on the fake port: a scripted controller answers the table reads and the
// write, the dialogs are driven by their object names.
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ConfigureTestDriver.h"
#include "FakePort.h"
#include "FakeView.h"
#include "ImitSettings.h"
#include "Program.h"
#include "Protocol.h"
#include "UiCommon.h"
#include "Wizard.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// The controller as the fake port's peer: assembles request frames from what the tool writes and
// schedules the answer 20 ms later (after the tool's purge of what had already arrived).
struct ScriptedController {
    enum class WriteReply { Ack, WrongLength, None };

    FakePort& port;
    ManualClock& clock;
    FakeView* view = nullptr;

    int version = 3;
    bool configured = true;
    QByteArray table4;
    bool silent = false;       // answers nothing at all
    bool table4Silent = false; // answers tables 0 and 7 only
    WriteReply writeReply = WriteReply::Ack;

    std::vector<QByteArray> requests;  // complete request frames, in order
    int exchangesWithJobButtonsOn = 0; // requests sent while the main window's job buttons were enabled
    QByteArray pending;

    ScriptedController(FakePort& p, ManualClock& c) : port(p), clock(c) {}

    static QByteArray defaultTable4(int version) {
        CfgRecord r;
        r.Answer = 700; // within the form's 5..20 s, so that an unchanged form can be confirmed
        const auto b = r.encode();
        return QByteArray(reinterpret_cast<const char*>(b.data()), version >= 2 ? 23 : 21);
    }

    void written(const QByteArray& bytes) {
        pending += bytes;
        const int i = int(pending.indexOf(char(proto::kRequestStart)));
        if (i < 0 || pending.size() < i + 3)
            return;
        const int n = quint8(pending[i + 2]);
        if (pending.size() < i + n)
            return;
        const QByteArray frame = pending.mid(i, n);
        pending.clear();
        requests.push_back(frame);
        if (view->jobButtonsOn)
            ++exchangesWithJobButtonsOn;
        answer(frame);
    }

    void answer(const QByteArray& frame) {
        if (silent)
            return;
        const quint8 fn = quint8(frame[3]);
        if (fn == proto::kFnReadTable) {
            switch (quint8(frame[5])) {
            case 0: {
                QByteArray ident(14, 0);
                ident[3] = char(version);
                reply(0x81, ident);
                break;
            }
            case 7: {
                QByteArray state(8, 0);
                state[4] = configured ? 0 : 1;
                reply(0x81, state);
                break;
            }
            case 4:
                if (!table4Silent)
                    reply(0x81, table4);
                break;
            }
        } else if (fn == proto::kFnWriteTable) {
            table4 = frame.mid(24, quint8(frame[23]));
            if (writeReply == WriteReply::Ack)
                reply(0x82, {});
            else if (writeReply == WriteReply::WrongLength)
                reply(0x82, QByteArray(1, 0)); // a valid frame, but 11 bytes long
        }
    }

    void reply(quint8 fn, const QByteArray& data) {
        QByteArray f(10 + data.size(), 0);
        f[0] = char(proto::kAnswerStart);
        f[1] = char(0xFF);
        f[2] = char(f.size());
        f[3] = char(fn);
        f[7] = char(data.size());
        std::memcpy(f.data() + 8, data.constData(), std::size_t(data.size()));
        proto::FrameCrc(reinterpret_cast<quint8*>(f.data()), std::size_t(f.size()));
        port.arrive(clock.tickMs() + 20, QByteArray(1, char(0xFF)) + f);
    }

    int reads(int table) const {
        int n = 0;
        for (const QByteArray& r : requests)
            n += quint8(r[3]) == proto::kFnReadTable && quint8(r[5]) == table;
        return n;
    }
    std::vector<QByteArray> writes() const {
        std::vector<QByteArray> out;
        for (const QByteArray& r : requests)
            if (quint8(r[3]) == proto::kFnWriteTable)
                out.push_back(r);
        return out;
    }
};

class ConfigureFlow : public ::testing::Test {
protected:
    void SetUp() override {
        link.setPort(&port);
        link.setClock(&clock);
        link.setRtsControl(0);
        OpenError err;
        ASSERT_TRUE(port.open(QStringLiteral("/dev/fake"), proto::kControllerBaud, &err));
        ctl.view = &view;
        ctl.table4 = ScriptedController::defaultTable4(3);
        port.onWrite = [this](const QByteArray& b) { ctl.written(b); };
        wizard = CreateWizardForms();
        view.wizard = &wizard;
    }
    void TearDown() override { DestroyWizardForms(wizard); }

    void run() {
        RunConfigureJob(view, link, cfg,
                        [this](const CfgRecord& r, int speedIndex) { TakeRunLayout(imit, r, speedIndex); });
    }

    void expectBox(std::size_t i, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        ASSERT_GT(script.boxes.size(), i);
        EXPECT_EQ(script.boxes[i].text, text);
        EXPECT_EQ(script.boxes[i].caption, caption);
        EXPECT_EQ(script.boxes[i].icon, icon);
    }
    bool jobButtonsOn() const { return view.jobButtonsOn; }

    ManualClock clock;
    FakePort port{clock};
    Link link;
    FakeView view;
    CfgContext cfg;
    ImitSettings imit;
    WizardForms wizard;
    ScriptedController ctl{port, clock};
    ModalScript script;
};

const QString kMsg = QStringLiteral("Сообщение");

TEST_F(ConfigureFlow, ConfiguredControllerReadEditedAndWritten) {
    script
        .then(OkBox()) // version
        .then(On("CfgForm",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("3,000"));
                     EXPECT_EQ(Edit(w, "AnswerEdit")->text(), QStringLiteral("7,000"));
                     EXPECT_EQ(Edit(w, "VEdit")->text(), QStringLiteral("100,000"));
                     EXPECT_FALSE(Edit(w, "VEdit")->isEnabled());
                     EXPECT_FALSE(w->findChild<QWidget*>("FlTriesSpinEdit")->isHidden()); // version 3
                     static_cast<RadioGroup*>(w->findChild<QWidget*>("FlRadioGroup"))->button(1)->click();
                     w->findChild<QSpinBox*>("AddrSpinEdit2")->setValue(17);
                     w->findChild<QSpinBox*>("NitkaSpinEdit2")->setValue(2);
                     static_cast<RadioGroup*>(w->findChild<QWidget*>("Speed1RadioGroup"))
                         ->button(7)
                         ->click(); // 9600
                     Edit(w, "PeriodEdit")->setText("5.5");
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    expectBox(0, QStringLiteral("Версия ПО 3 (выдача импульсов по расходу)"), kMsg, QMessageBox::Information);
    expectBox(1, QStringLiteral("Конфигурация успешно записана!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(ctl.reads(0), 1);
    EXPECT_EQ(ctl.reads(7), 1);
    EXPECT_EQ(ctl.reads(4), 1);
    const auto writes = ctl.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].size(), 49);
    EXPECT_EQ(quint8(writes[0][21]), 4);  // table
    EXPECT_EQ(quint8(writes[0][23]), 23); // byte count
    EXPECT_EQ(cfg.record.FlCount, 2);
    EXPECT_EQ(cfg.record.Period, 550);
    EXPECT_EQ(cfg.record.Addr[1], 17);
    EXPECT_EQ(cfg.record.Speed[0], proto::SpeedIndexToCode(7));
    const auto expected = cfg.record.encode();
    EXPECT_EQ(ctl.table4, QByteArray(reinterpret_cast<const char*>(expected.data()), 23));
    // Hand-off to the imitation.
    EXPECT_EQ(imit.ImitFlIndex, 1);
    EXPECT_EQ(imit.ImitAddr, (std::array<quint8, 3>{1, 17, 3}));
    EXPECT_EQ(imit.ImitNitka, (std::array<quint8, 3>{1, 2, 1}));
    EXPECT_EQ(imit.ImitSpeedIndex, 7);
    // No exchange ran with the job buttons on; they are on again afterwards.
    EXPECT_EQ(ctl.exchangesWithJobButtonsOn, 0);
    EXPECT_TRUE(jobButtonsOn());
    EXPECT_EQ(cfg.CfgState, 1);
}

TEST_F(ConfigureFlow, NotConfiguredControllerWarnsAndStartsTheWizardOnTheDefaults) {
    ctl.configured = false;
    script.then(OkBox())
        .then(OkBox()) // warning
        .then(On("PodborForm1",
                 [](QWidget* w) {
                     EXPECT_TRUE(w->findChild<QWidget*>("BitBtn1")->isHidden());
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }))
        .then(On("CfgForm",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "VEdit")->text(), QStringLiteral("0,600"));
                     EXPECT_TRUE(Edit(w, "VEdit")->isEnabled());
                     EXPECT_EQ(Edit(w, "AnswerEdit")->text(), QStringLiteral("7,000"));
                     EXPECT_EQ(static_cast<RadioGroup*>(w->findChild<QWidget*>("FlRadioGroup"))->itemIndex(),
                               0);
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    expectBox(1, QStringLiteral("Устройство не законфигурировано!"), QStringLiteral("Предупреждение!"),
              QMessageBox::Information);
    expectBox(2, QStringLiteral("Конфигурация успешно записана!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(ctl.reads(4), 0);
    EXPECT_EQ(cfg.CfgState, 2);
    EXPECT_EQ(cfg.record.V, 0.6f);
    EXPECT_EQ(cfg.record.Answer, 700);
    EXPECT_EQ(cfg.record.Period, 300);
    EXPECT_EQ(ctl.writes().size(), 1u);
}

TEST_F(ConfigureFlow, SilentControllerGetsFiveReadsOfTableZeroAndNothingElse) {
    ctl.silent = true;
    script.then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 1u);
    expectBox(0, QStringLiteral("Не могу прочитать таблицу 0!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(ctl.requests.size(), 5u);
    EXPECT_EQ(ctl.reads(0), 5);
    EXPECT_TRUE(jobButtonsOn());
}

TEST_F(ConfigureFlow, UnreadableTableFourEndsBeforeTheForm) {
    ctl.table4Silent = true;
    script.then(OkBox()).then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    expectBox(1, QStringLiteral("Can't read table 7!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(ctl.reads(4), 5);
    EXPECT_TRUE(ctl.writes().empty());
}

TEST_F(ConfigureFlow, WriteAnsweredWithWrongLengthFailsAfterOneAttempt) {
    ctl.writeReply = ScriptedController::WriteReply::WrongLength;
    script.then(OkBox()).then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn1"); })).then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(ctl.writes().size(), 1u);
    expectBox(1, QStringLiteral("Ошибка при записи конфигурации!"), QStringLiteral("Ошибка!"),
              QMessageBox::Critical);
}

TEST_F(ConfigureFlow, UnansweredWriteTriesFiveTimesAfterTheImitationWasUpdated) {
    ctl.writeReply = ScriptedController::WriteReply::None;
    script.then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     static_cast<RadioGroup*>(w->findChild<QWidget*>("FlRadioGroup"))->button(2)->click();
                     w->findChild<QSpinBox*>("AddrSpinEdit3")->setValue(42);
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(ctl.writes().size(), 5u);
    expectBox(1, QStringLiteral("Ошибка при записи конфигурации!"), QStringLiteral("Ошибка!"),
              QMessageBox::Critical);
    EXPECT_EQ(imit.ImitFlIndex, 2);
    EXPECT_EQ(imit.ImitAddr[2], 42);
    EXPECT_EQ(imit.ImitSpeedIndex, 1); // code 2 is the 1200 row
    EXPECT_TRUE(jobButtonsOn());
}

TEST_F(ConfigureFlow, VersionOneWritesTwentyBytes) {
    ctl.version = 1;
    ctl.table4 = ScriptedController::defaultTable4(1);
    script.then(OkBox()).then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn1"); })).then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    const auto writes = ctl.writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].size(), 46);
    EXPECT_EQ(quint8(writes[0][2]), 46);
    EXPECT_EQ(quint8(writes[0][23]), 20);
    expectBox(1, QStringLiteral("Конфигурация успешно записана!"), kMsg, QMessageBox::Information);
}

TEST_F(ConfigureFlow, RejectedValueReshowsTheFormWithTheOperatorsTexts) {
    script.then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     Edit(w, "NagEdit")->setText("3");
                     Edit(w, "PeriodEdit")->setText("5.5");
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "NagEdit")->text(), QStringLiteral("3"));
                     EXPECT_EQ(Edit(w, "PeriodEdit")->text(),
                               QStringLiteral("5.5")); // not reached by the checks yet
                     Edit(w, "NagEdit")->setText("0,5");
                     Edit(w, "VEdit")->setText("abc");
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     Edit(w, "VEdit")->setText("12.5");
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 4u);
    expectBox(1, QStringLiteral("Значение длительности импульса должно быть от 0,1 до 2 секунд!"),
              ApplicationTitle(), QMessageBox::Critical);
    expectBox(2, QStringLiteral("'abc' is not a valid floating point value."), ApplicationTitle(),
              QMessageBox::Critical);
    expectBox(3, QStringLiteral("Конфигурация успешно записана!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(ctl.writes().size(), 1u);
    EXPECT_EQ(cfg.record.Nag, 50);
    EXPECT_EQ(cfg.record.Period, 550);
    EXPECT_EQ(cfg.record.V, 12.5f);
}

TEST_F(ConfigureFlow, WizardRangeIsEnforcedAndCancelAfterARejectWritesNothing) {
    script.then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     EXPECT_EQ(w->findChild<QGroupBox*>("VGroupBox")->title(),
                               QStringLiteral("Объем газа на один импульс :"));
                     ClickChild(w, "ChangeVButton");
                 }))
        .then(On("PodborForm1",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "QMaxEdit")->text(),
                               QStringLiteral("3600,0")); // recovered from 0,6 m3 over 0,1 + 0,1 s
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }))
        .then(On("CfgForm",
                 [](QWidget* w) {
                     Edit(w, "VEdit")->setText("2,5"); // range [0,2 - 2,0]
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox())
        .then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
    cfg.QMax = 3600;
    ctl.table4 = [] {
        CfgRecord r;
        r.Answer = 700;
        r.V = 0.6f;
        const auto b = r.encode();
        return QByteArray(reinterpret_cast<const char*>(b.data()), 23);
    }();
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    expectBox(1, QStringLiteral("Значение цены импульса выходит за допустимые диапазоны! "),
              ApplicationTitle(), QMessageBox::Critical);
    EXPECT_TRUE(ctl.writes().empty());
    EXPECT_EQ(imit.ImitFlIndex, 0);
}

TEST_F(ConfigureFlow, RunsWithoutWidgetsWhenTheViewAnswersItself) {
    // As under a console: every message goes to the view, the form's entries come from it.
    view.onScreen = false;
    CfgFormValues entered;
    entered.flIndex = 1;
    entered.period = QStringLiteral("5.5");
    entered.answer = QStringLiteral("7");
    entered.v = QStringLiteral("100");
    entered.nag = QStringLiteral("3"); // refused, then corrected
    entered.pause = QStringLiteral("0,1");
    entered.addr = {1, 17, 3};
    entered.speedIndex = {7, 1, 1};
    view.formEntries.push_back(entered);
    entered.nag = QStringLiteral("0.5");
    view.formEntries.push_back(entered);
    run();
    EXPECT_EQ(script.unexpected(), 0) << script.unexpectedTexts().join(u'\n').toStdString();
    ASSERT_EQ(view.formFilled.size(), 1u);
    EXPECT_EQ(view.formFilled[0].period, QStringLiteral("3,000"));
    ASSERT_EQ(view.told.size(), 3u);
    const std::vector<std::tuple<Notice, QString, QString>> told = {
        {Notice::Information, kMsg, QStringLiteral("Версия ПО 3 (выдача импульсов по расходу)")},
        {Notice::Error, ApplicationTitle(),
         QStringLiteral("Значение длительности импульса должно быть от 0,1 до 2 секунд!")},
        {Notice::Information, kMsg, QStringLiteral("Конфигурация успешно записана!")}};
    for (std::size_t i = 0; i < told.size(); ++i)
        EXPECT_EQ(std::tuple(view.told[i].kind, view.told[i].caption, view.told[i].text), told[i]) << i;
    // The texts go back as the checks left them: up to the refused one, then all of them.
    ASSERT_EQ(view.formKept.size(), 2u);
    EXPECT_EQ(view.formKept[0].period, QStringLiteral("5.5"));
    EXPECT_EQ(view.formKept[1].period, QStringLiteral("5,5"));
    ASSERT_EQ(ctl.writes().size(), 1u);
    EXPECT_EQ(cfg.record.Nag, 50);
    EXPECT_EQ(cfg.record.Addr[1], 17);
    EXPECT_EQ(imit.ImitSpeedIndex, 7);
}

} // namespace

TEST_F(ConfigureFlow, JobIsJournalledAFailedFileSaveIsToldAtOnceAndTheJournalsAfterTheLastBox) {
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("journal.jsonl"));
    const QString missing = dir.filePath(QStringLiteral("missing/cfg.json"));
    script.then(OkBox())
        .then(On("CfgForm",
                 [&](QWidget* w) {
                     // A value "Записать" would refuse is refused for the file too, and nothing is saved.
                     Edit(w, "NagEdit")->setText(QStringLiteral("3"));
                     EXPECT_FALSE(
                         static_cast<TCfgForm*>(w)->saveToFile(dir.filePath(QStringLiteral("cfg.json"))));
                     EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("cfg.json"))));
                     Edit(w, "NagEdit")->setText(QStringLiteral("0,1"));
                     // The folder does not exist: the save fails and says why at once, over the form that
                     // stays open.
                     EXPECT_FALSE(static_cast<TCfgForm*>(w)->saveToFile(missing));
                     EXPECT_TRUE(script.boxes.size() == 3u && w->isVisible());
                     const QString said =
                         QStringLiteral("Не удалось сохранить конфигурацию в файл ") + missing + ": ";
                     const QString told = script.boxes.back().text;
                     EXPECT_TRUE(told.startsWith(said) && told.size() > said.size()) << told.toStdString();
                     Edit(w, "PeriodEdit")->setText(QStringLiteral("4"));
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox())
        .then(OkBox())
        .then(OkBox())
        .then(OkBox());
    RunConfigureJob(view, link, cfg, {}, [&](const CfgJobReport& r) {
        // The second journal lies under a file, so it cannot be written.
        QStringList failed = RecordInJournal(journal, link, r);
        return failed + RecordInJournal(journal + QStringLiteral("/x.jsonl"), link, r);
    });
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 5u);
    EXPECT_EQ(script.boxes[1].text,
              QStringLiteral("Значение длительности импульса должно быть от 0,1 до 2 секунд!"));
    EXPECT_EQ(script.boxes[2].caption, QStringLiteral("Ошибка!"));
    expectBox(3, QStringLiteral("Конфигурация успешно записана!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(script.boxes[4].caption, QStringLiteral("Ошибка!"));
    EXPECT_FALSE(script.boxes[4].text.contains(missing)); // told once, at the click
    EXPECT_TRUE(script.boxes[4].text.contains(QStringLiteral("журнал конфигураций ") + journal +
                                              QStringLiteral("/x.jsonl")));
    EXPECT_EQ(ctl.writes().size(), 1u);

    const JournalContents read = ReadJournal(journal);
    ASSERT_EQ(read.entries.size(), 1);
    const QJsonObject e = read.entries[0];
    EXPECT_EQ(e.value(QStringLiteral("softVersion")).toInt(), 3);
    EXPECT_TRUE(e.value(QStringLiteral("configured")).toBool());
    EXPECT_EQ(e.value(QStringLiteral("ident")).toString(),
              QStringLiteral("00 00 00 03 00 00 00 00 00 00 00 00 00 00"));
    for (const auto& [key, bytes] :
         {std::pair{"read", ScriptedController::defaultTable4(3)}, std::pair{"written", ctl.table4}})
        EXPECT_EQ(e.value(QLatin1String(key))[QStringLiteral("bytes")].toString(),
                  QString::fromLatin1(bytes.toHex(' ')));
    EXPECT_EQ(e.value(QStringLiteral("result")).toString(), QStringLiteral("Конфигурация записана"));
}

// Every attempt's outcome reaches the journal: a sound answer, silence, an answer the table's own rules
// refuse, and a write answer that is final though it is no acknowledgement.
TEST_F(ConfigureFlow, EachAttemptsOutcomeIsJournalled) {
    using Step = std::pair<int, const char*>; // table (a write: 4 + 100), outcome
    struct Row {
        const char* name;
        std::function<void(ScriptedController&)> setUp;
        int boxes;
        std::vector<Step> expected;
    };
    const std::vector<Step> tables07 = {{0, "ok"}, {7, "ok"}};
    const auto plus = [&](std::vector<Step> tail) {
        tail.insert(tail.begin(), tables07.begin(), tables07.end());
        return tail;
    };
    const std::vector<Row> rows = {
        {"table 4 silent", [](ScriptedController& c) { c.table4Silent = true; }, 2,
         plus(std::vector<Step>(5, {4, "silence"}))},
        {"table 4 too long", [](ScriptedController& c) { c.version = 1; }, 2,
         plus(std::vector<Step>(5, {4, "refused"}))},
        {"write answered 11 bytes long",
         [](ScriptedController& c) { c.writeReply = ScriptedController::WriteReply::WrongLength; }, 3,
         plus({{4, "ok"}, {104, "wrong-count"}})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedController ctl2{port, clock};
        ctl2.view = &view;
        ctl2.table4 = ScriptedController::defaultTable4(3);
        row.setUp(ctl2);
        port.onWrite = [&](const QByteArray& b) { ctl2.written(b); };
        ModalScript boxes;
        boxes.then(OkBox());
        if (row.boxes == 3)
            boxes.then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn1"); }));
        boxes.then(OkBox());
        QJsonArray journalled;
        RunConfigureJob(view, link, cfg, {}, [&](const CfgJobReport& r) {
            journalled = JournalEntry(r, 1, {}, QDateTime::currentDateTime())
                             .value(QStringLiteral("exchanges"))
                             .toArray();
            return QStringList();
        });
        EXPECT_TRUE(boxes.done());
        ASSERT_EQ(journalled.size(), qsizetype(row.expected.size()));
        for (qsizetype i = 0; i < journalled.size(); ++i) {
            const QJsonObject x = journalled[i].toObject();
            const Step& want = row.expected[std::size_t(i)];
            EXPECT_EQ(x.value(QStringLiteral("table")).toInt() +
                          (x.value(QStringLiteral("function")).toInt() == 2 ? 100 : 0),
                      want.first)
                << i;
            EXPECT_EQ(x.value(QStringLiteral("outcome")).toString(), QString::fromLatin1(want.second)) << i;
        }
        clock.advanceMs(5000);
        port.purge();
    }
}
