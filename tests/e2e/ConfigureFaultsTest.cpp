// The configure job end to end over a bad line: the real main window, serial port and clock against the
// virtual controller program with its faults switched on. Whatever the line does, the job ends with the
// message the operator is owed, nothing reaches the controller's table 4 that the operator did not
// confirm, and the job works again once a controller is back on the line.
#include "ConfigureTestDriver.h"
#include "E2eSupport.h"

#include "Protocol.h"

#include <QFile>
#include <QLineEdit>

namespace {

const QString kMsg = QStringLiteral("Сообщение");
const QString kVersion3 = QStringLiteral("Версия ПО 3 (выдача импульсов по расходу)");
const QString kWritten = QStringLiteral("Конфигурация успешно записана!");

// The simulator's default record asks 1 s for the answer time-out, which the form refuses (5..20 s):
// the operator types 7 s and confirms.
ModalScript::Action ConfirmForm() {
    return On("CfgForm", [](QWidget* w) {
        Edit(w, "AnswerEdit")->setText(QStringLiteral("7"));
        ClickChild(w, "BitBtn1");
    });
}

class ConfigureOverBadLine : public ToolOnSim {
protected:
    void run() { button("UstavkiButton")->click(); }

    std::vector<QString> texts() const {
        std::vector<QString> t;
        for (const ShownBox& b : script.boxes)
            t.push_back(b.text);
        return t;
    }
    void expectBox(std::size_t i, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        ASSERT_GT(script.boxes.size(), i);
        EXPECT_EQ(script.boxes[i].text, text);
        EXPECT_EQ(script.boxes[i].caption, caption);
        EXPECT_EQ(script.boxes[i].icon, icon);
    }
    // Table 4 as the simulator keeps it (its --state file exists only once a write was stored).
    QByteArray storedTable4() const {
        QFile f(statePath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("table4 "))
                return QByteArray::fromHex(line.mid(7).replace(' ', ""));
        return {};
    }
    bool jobButtonsOn() const {
        for (const char* name : {"UstavkiButton", "ParamRSButton", "ImitFlButton"})
            if (!button(name)->isEnabled())
                return false;
        return true;
    }

    ModalScript script;
};

// Faults the link must ride out: each read is retried up to five times and the write until an answer
// passes the frame checks, so the job still ends with the record written.
struct LineFault {
    const char* name;
    QStringList args;
    bool injects = true; // the simulator counts what it did (an echo is not counted)
};

// The faults the simulator reports having injected: "(injected: dropped D corrupt C truncated T noise N)".
int InjectedFaults(const QByteArray& out) {
    const int at = int(out.indexOf("controller: frames"));
    if (at < 0)
        return -1;
    int sum = 0;
    for (const char* what : {"dropped ", "corrupt ", "truncated ", "noise "}) {
        const int k = int(out.indexOf(what, at));
        if (k < 0)
            return -1;
        sum += out.mid(k + int(qstrlen(what)), 6).split(' ').first().replace(')', "").toInt();
    }
    return sum;
}

TEST_F(ConfigureOverBadLine, RetriesPastEveryLineFaultAndWritesTheConfirmedRecord) {
    const LineFault faults[] = {
        {"noise before every answer", {"--noise", "1"}},
        {"every 2nd answer with a wrong CRC", {"--corrupt", "2"}},
        {"every 2nd answer cut short", {"--truncate", "2"}},
        {"every 2nd request unanswered", {"--drop", "2"}},
        {"two-wire echo of every request byte", {"--echo"}, false},
        {"noise, bad CRC and cuts together",
         {"--noise", "2", "--corrupt", "3", "--truncate", "5", "--seed", "7"}},
    };
    for (const LineFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        QFile::remove(statePath());
        startSim(QStringList(fault.args) << "--state" << statePath());
        if (!program)
            startTool();
        else
            OpenPort(program->link); // the same COM1, now a new simulator behind it
        ASSERT_TRUE(program->link.portOpen());
        script.boxes.clear();
        script.then(OkBox()).then(ConfirmForm()).then(OkBox());

        run();

        EXPECT_TRUE(script.done()) << script.pending() << " dialogs never came";
        ASSERT_EQ(script.boxes.size(), 2u);
        expectBox(0, kVersion3, kMsg, QMessageBox::Information);
        expectBox(1, kWritten, kMsg, QMessageBox::Information);
        for (int table : {0, 7, 4}) {
            const int reads = sim->countLines("read table " + QByteArray::number(table));
            EXPECT_GE(reads, 1) << "table " << table;
            EXPECT_LE(reads, 5) << "table " << table;
        }
        // What the controller keeps is the record the operator confirmed, byte for byte.
        const auto expected = program->cfg.record.encode();
        EXPECT_EQ(storedTable4(), QByteArray(reinterpret_cast<const char*>(expected.data()), 23));
        EXPECT_EQ(program->cfg.record.Answer, 700);
        EXPECT_TRUE(jobButtonsOn());
        const QByteArray out = sim->stop();
        if (fault.injects)
            EXPECT_GT(InjectedFaults(out), 0) << out.toStdString();
        else
            EXPECT_EQ(InjectedFaults(out), 0) << out.toStdString();
        sim.reset();
    }
}

TEST_F(ConfigureOverBadLine, SilentControllerGetsFiveAttemptsAndTheReadFailure) {
    startSim({"--silent", "--state", statePath()});
    startTool();
    script.then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 1u);
    expectBox(0, QStringLiteral("Не могу прочитать таблицу 0!"), kMsg, QMessageBox::Information);
    const QByteArray out = sim->stop();
    EXPECT_EQ(sim->countLines("read table 0"), 5) << out.toStdString();
    EXPECT_EQ(sim->countLines("read table 7"), 0);
    EXPECT_EQ(sim->countLines("write table"), 0);
    EXPECT_FALSE(QFile::exists(statePath()));
    EXPECT_TRUE(jobButtonsOn());
}

// The operator's "no": a cancelled form, and a refused value followed by a cancel, write nothing.
TEST_F(ConfigureOverBadLine, NothingIsWrittenUnlessTheOperatorConfirms) {
    startSim({"--state", statePath(), "--noise", "3"});
    startTool();
    script.then(OkBox()).then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 1u);

    script.boxes.clear();
    script.then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     Edit(w, "AnswerEdit")->setText(QStringLiteral("1")); // below 5 s: refused
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox()) // the exception box
        .then(On("CfgForm", [](QWidget* w) {
            EXPECT_EQ(Edit(w, "AnswerEdit")->text(), QStringLiteral("1"));
            ClickChild(w, "BitBtn2");
        }));
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[1].text, QStringLiteral("Время ожидания ответа должно быть от 5 до 20 секунд!"));
    EXPECT_EQ(script.boxes[1].icon, QMessageBox::Critical);

    const QByteArray out = sim->stop();
    EXPECT_EQ(sim->countLines("write table"), 0) << out.toStdString();
    EXPECT_EQ(sim->countLines("read table 4"), 2);
    EXPECT_FALSE(QFile::exists(statePath()));
}

// The controller goes away while the tool waits for its answer to the table 4 read, as a pulled adapter
// does. The remaining attempts fail on the dead line, the job ends with its read failure (no other box),
// and nothing is written. A new controller behind the same COM1 is configured by the next job, which
// opens the device again by itself: no restart, no box, the port number kept.
TEST_F(ConfigureOverBadLine, ControllerKilledInTheMiddleOfAnExchangeThenBackAgain) {
    // The answer comes 200 ms after the request: time enough to pull the plug in between.
    startSim({"--answer-delay", "200", "--state", statePath()});
    startTool();
    bool killed = false;
    sim->onLine = [&](const QByteArray& line) {
        if (!killed && line.contains(" rx ") && line.contains("read table 4")) {
            killed = true;
            QTimer::singleShot(0, [&] { sim->kill(); });
        }
    };
    script.then(OkBox()).then(OkBox());
    Watchdog dog(120000, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            ForceClose(w);
    });
    run();
    EXPECT_TRUE(killed);
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    expectBox(0, kVersion3, kMsg, QMessageBox::Information);
    // The text the operator gets after five failed reads of table 4.
    expectBox(1, QStringLiteral("Can't read table 7!"), kMsg, QMessageBox::Information);
    EXPECT_EQ(sim->countLines("write table"), 0);
    EXPECT_FALSE(QFile::exists(statePath()));
    EXPECT_TRUE(jobButtonsOn());
    EXPECT_TRUE(program->link.deviceLost());
    EXPECT_EQ(program->link.PortNumber(), 1);

    // The line is back: a new controller behind the same link.
    spare = launch({"--state", statePath()});
    ASSERT_NE(spare, nullptr);
    script.boxes.clear();
    script.then(OkBox()).then(ConfirmForm()).then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    expectBox(1, kWritten, kMsg, QMessageBox::Information);
    EXPECT_EQ(spare->countLines("write table 4, 23 bytes, stored"), 1);
    EXPECT_TRUE(program->link.portOpen());
    EXPECT_FALSE(program->link.deviceLost());
}

// The controller goes away while the operator edits the form: the confirmed record cannot be written,
// and the operator is told so (not told it was written).
TEST_F(ConfigureOverBadLine, ControllerKilledWhileTheFormIsOpenReportsTheWriteFailure) {
    startSim({"--state", statePath()});
    startTool();
    script.then(OkBox()).then(On("CfgForm", [this](QWidget* w) {
        sim->kill();
        Edit(w, "AnswerEdit")->setText(QStringLiteral("7"));
        ClickChild(w, "BitBtn1");
    }));
    script.then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    expectBox(1, QStringLiteral("Ошибка при записи конфигурации!"), QStringLiteral("Ошибка!"),
              QMessageBox::Critical);
    EXPECT_EQ(sim->countLines("write table"), 0);
    EXPECT_FALSE(QFile::exists(statePath()));
    EXPECT_TRUE(jobButtonsOn());
}

} // namespace
