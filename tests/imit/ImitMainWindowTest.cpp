// The imitation started from the program's own main window: Esc through the application-wide hook, and
// a close of the window (its system menu) while the imitation runs, which must end the imitation and
// then the program cleanly.
#include "FakePort.h"
#include "FlowAnswer.h"
#include "HexBytes.h"
#include "ImitFixture.h"
#include "Main.h"
#include "Program.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct MainRig {
    QTemporaryDir dir;
    StoppingClock clock{5000, nullptr};
    FakePort port{clock};
    std::unique_ptr<Program> program;
    std::unique_ptr<TMainForm> form;
    bool quitOnLast = QApplication::quitOnLastWindowClosed();

    MainRig() {
        QApplication::setQuitOnLastWindowClosed(false);
        QFile ini(dir.filePath("marvil.ini"));
        EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[rs 232]\r\nCOM Port=2\r\nRTS=0\r\n");
        ini.close();
        program = std::make_unique<Program>(port, clock, dir.filePath("marvil.ini"));
        form = std::make_unique<TMainForm>(*program);
        form->show();
        // Should the expected stop never come: one simulated hour, then fail.
        clock.stopControl = &program->stopControl;
        clock.stopAtMs = clock.tickMs() + 3600000;
        clock.armed = true;
    }
    ~MainRig() {
        form.reset();
        program.reset();
        QApplication::setQuitOnLastWindowClosed(quitOnLast);
    }
    QString text(const char* name) const { return form->findChild<QLabel*>(name)->text(); }
    // The three job buttons: all on (1), all off (0), or some of each (-1).
    int jobButtons() const {
        int on = 0;
        for (const char* name : {"UstavkiButton", "ParamRSButton", "ImitFlButton"})
            on += form->findChild<QPushButton*>(name)->isEnabled();
        return on == 3 ? 1 : on == 0 ? 0 : -1;
    }
    // Starts the imitation through its button; the settings dialog is accepted or cancelled.
    void startImitation(bool accept = true) {
        OnNextModal([this, accept](QWidget* dialog) {
            buttonsInDialog = jobButtons();
            dialog->findChild<QPushButton*>(accept ? "BitBtn1" : "BitBtn2")->click();
        });
        form->findChild<QPushButton*>("ImitFlButton")->click();
    }
    int buttonsInDialog = -1;
};

} // namespace

TEST(ImitMainWindow, EscapeInTheWindowStopsTheImitation) {
    MainRig rig;
    ASSERT_TRUE(rig.port.isOpen());
    rig.port.arrive(rig.clock.tickMs() + 10000, Hex("AA010706014E45"));
    rig.port.onWrite = [&](const QByteArray& bytes) {
        if (bytes.size() == proto::kFlowAnswerSize + 1) // the answer behind its FF
            QTest::keyClick(rig.form.get(), Qt::Key_Escape);
    };
    rig.startImitation();
    EXPECT_FALSE(rig.clock.fired) << "Escape did not stop the imitation";
    EXPECT_EQ(rig.text("Answers1Label"), QStringLiteral("Ответов : 1"));
    EXPECT_EQ(rig.text("CurrentTotal1Label"), QStringLiteral("Объем газа за сегодня : 10,000"));
    EXPECT_EQ(rig.text("TypeConnectLabel"), QStringLiteral(" скор.1200"));
    EXPECT_EQ(rig.port.openedBaud(), 1200);
    EXPECT_TRUE(rig.form->isVisible());
    EXPECT_EQ(rig.form->height(), rig.form->heights().CompactHeight);
    EXPECT_TRUE(rig.form->findChild<QPushButton*>("ImitFlButton")->isEnabled());
    EXPECT_EQ(rig.form->findChild<QPushButton*>("CloseBtn")->text(), QStringLiteral("&Close"));
}

TEST(ImitMainWindow, ButtonsStayOffForTheWholeImitationAndComeBackAfterACancel) {
    MainRig rig;
    rig.startImitation(false);
    EXPECT_EQ(rig.buttonsInDialog, 0);
    EXPECT_EQ(rig.jobButtons(), 1);

    rig.port.arrive(rig.clock.tickMs() + 2000, Hex("AA010706014E45"));
    int whileAnswering = -1;
    rig.port.onWrite = [&](const QByteArray& bytes) {
        if (bytes.size() != proto::kFlowAnswerSize + 1)
            return;
        whileAnswering = rig.jobButtons();
        rig.program->stopControl.requestStop();
    };
    rig.startImitation();
    EXPECT_EQ(rig.buttonsInDialog, 0);
    EXPECT_EQ(whileAnswering, 0);
    EXPECT_EQ(rig.jobButtons(), 1);
    EXPECT_FALSE(rig.form->jobRunning());
    EXPECT_EQ(rig.text("Answers1Label"), QStringLiteral("Ответов : 1"));
}

TEST(ImitMainWindow, ClosingTheWindowEndsTheImitationAndTheProgram) {
    MainRig rig;
    QFile::remove(rig.dir.filePath("marvil.ini"));
    rig.port.arrive(rig.clock.tickMs() + 1000, Hex("AA010706014E45"));
    struct {
        bool closed = true, visible = false, portOpen = false, saved = true, running = false;
        quint8 stop = 0;
    } during;
    rig.port.onWrite = [&](const QByteArray& bytes) {
        if (bytes.size() != proto::kFlowAnswerSize + 1) // the answer behind its FF
            return;
        during.closed = rig.form->close(); // what the system menu's Close does
        // The port still belongs to the loop and nothing is saved yet; the loop is asked to stop.
        during = {during.closed,          rig.form->isVisible(),
                  rig.port.isOpen(),      QFile::exists(rig.dir.filePath("marvil.ini")),
                  rig.form->jobRunning(), rig.program->stopControl.StopRequested};
    };
    rig.startImitation();
    EXPECT_FALSE(during.closed);
    EXPECT_TRUE(during.visible);
    EXPECT_TRUE(during.portOpen);
    EXPECT_FALSE(during.saved);
    EXPECT_TRUE(during.running);
    EXPECT_EQ(during.stop, 1);
    EXPECT_FALSE(rig.clock.fired) << "the close did not stop the imitation";
    EXPECT_FALSE(rig.form->isVisible());
    EXPECT_FALSE(rig.form->jobRunning());
    // The loop gave the port back at 1200 bit/s, then the window saved the settings and closed the port.
    ASSERT_GE(rig.port.calls.size(), 2u);
    EXPECT_EQ(rig.port.calls.back().kind, FakePort::Kind::Close);
    EXPECT_EQ(rig.port.openedBaud(), 1200);
    EXPECT_FALSE(rig.port.isOpen());
    QFile ini(rig.dir.filePath("marvil.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("COM Port=2"));
}
