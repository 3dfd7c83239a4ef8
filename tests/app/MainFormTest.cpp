// The main window: start-up, status panels, heights, closing, the close button's two kinds, the Escape
// hook and the link's message boxes.
#include "AppFixture.h"
#include "ExpectedPulses.h"
#include "ModalScript.h"
#include "Settings.h"

#include <QDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace {

using Kind = FakePort::Kind;

TEST_F(AppFixture, FirstRunShowsNoPortAndSwitchedRtsAndOpensNothing) {
    start();
    EXPECT_EQ(labelText("ShortAddrLabel"), QStringLiteral("Короткий адр. 255"));
    EXPECT_EQ(labelText("PortLabel"), QStringLiteral("Порт  - NONE"));
    EXPECT_EQ(labelText("RTSLabel"), QStringLiteral("RTS - управлять"));
    EXPECT_EQ(labelText("TypeConnectLabel"), QStringLiteral(" скор.1200"));
    EXPECT_EQ(port.count(Kind::Open), 0);
    EXPECT_EQ(program->link.LineSpeed(), 1200);
    EXPECT_EQ(program->link.PerfFrequency(), 1000000);

    // Closing writes the defaults into a new file.
    EXPECT_TRUE(form->close());
    const QString ini = readSettings();
    EXPECT_TRUE(ini.contains(QStringLiteral("[rs 232]"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("COM Port=0"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("RTS=1"))) << ini.toStdString();
}

TEST_F(AppFixture, ControlsCarryTheirCaptions) {
    start();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Силовой контроллер RMZ-47"));
    const struct {
        const char* name;
        QString text;
    } buttons[] = {
        {"ParamRSButton", QStringLiteral("Изменить")},
        {"UstavkiButton", QStringLiteral("Конфигурирование контроллера")},
        {"ImitFlButton", QStringLiteral("Имитация ответов Сантар")},
        {"CloseBtn", QStringLiteral("&Close")},
    };
    for (const auto& b : buttons)
        if (auto* w = child<QPushButton>(b.name)) {
            EXPECT_EQ(w->text(), b.text) << b.name;
        }
    const struct {
        const char* name;
        QString title;
    } boxes[] = {
        {"GroupBox1", QStringLiteral("Параметры связи : ")},
        {"ImitGroupBox", QStringLiteral("Имитация ответов Сантар :")},
        {"FlGroupBox1", QStringLiteral("Нитка 1 :")},
        {"FlGroupBox2", QStringLiteral("Нитка 2 :")},
        {"FlGroupBox3", QStringLiteral("Нитка 3 :")},
    };
    for (const auto& b : boxes)
        if (auto* w = child<QGroupBox>(b.name)) {
            EXPECT_EQ(w->title(), b.title) << b.name;
        }
    // The status panels sit in the link box, sunken; the run labels in their run box, empty.
    for (const char* name : {"ShortAddrLabel", "PortLabel", "RTSLabel", "TypeConnectLabel"}) {
        auto* l = child<QLabel>(name);
        ASSERT_TRUE(l);
        EXPECT_EQ(l->parentWidget()->objectName(), QStringLiteral("GroupBox1")) << name;
        EXPECT_EQ(l->frameShape(), QFrame::Panel) << name;
        EXPECT_EQ(l->frameShadow(), QFrame::Sunken) << name;
    }
    for (int n = 1; n <= 3; ++n)
        for (const char* kind : {"Rashod%1Label", "Answers%1Label", "CurrentTotal%1Label"}) {
            const QString name = QString::fromLatin1(kind).arg(n);
            auto* l = form->findChild<QLabel*>(name);
            ASSERT_TRUE(l) << name.toStdString();
            EXPECT_TRUE(l->text().isEmpty()) << name.toStdString();
            EXPECT_EQ(l->parentWidget()->objectName(), QStringLiteral("FlGroupBox%1").arg(n));
        }
    EXPECT_TRUE(form->font().bold());
    EXPECT_EQ(form->font().pointSize(), 8);
    EXPECT_FALSE(child<QPushButton>("CloseBtn")->icon().isNull());
}

TEST_F(AppFixture, WindowOpensCompactAndGrowsToShowTheImitationBox) {
    start();
    auto* closeBtn = child<QPushButton>("CloseBtn");
    auto* imitBox = child<QGroupBox>("ImitGroupBox");
    ASSERT_TRUE(closeBtn && imitBox);
    EXPECT_EQ(closeBtn->y(), 96);
    EXPECT_EQ(closeBtn->height(), 28);
    EXPECT_EQ(imitBox->y(), 160);
    EXPECT_EQ(form->heights().CompactHeight, 96 + 28 + 30);
    EXPECT_EQ(form->height(), form->heights().CompactHeight);
    EXPECT_GE(imitBox->y(), form->height()); // cut off
    EXPECT_GE(form->heights().FullHeight, imitBox->geometry().bottom());
    // The expected pulses of the controller's output below the run boxes, inside the full height.
    auto* pulses = child<QLabel>("PulsesLabel");
    ASSERT_TRUE(pulses);
    EXPECT_GT(pulses->y(), imitBox->geometry().bottom());
    EXPECT_GE(form->heights().FullHeight, pulses->geometry().bottom());
    // Fixed size, minimise but no maximise.
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);

    form->showImitPanel(3);
    EXPECT_EQ(form->height(), form->heights().FullHeight);
    // The warning that the output falls behind, whole: the lines below and the window make room for it.
    const int fullBefore = form->heights().FullHeight;
    form->showOutputPulses(PulseSummaryText({123456.789, true, 123456, 10800, true, 5, true}), true);
    EXPECT_GE(pulses->height(), pulses->heightForWidth(pulses->width()));
    EXPECT_EQ(form->height(), form->heights().FullHeight);
    EXPECT_GE(child<QLabel>("PortStateLabel")->y(), pulses->geometry().bottom());
    EXPECT_GE(form->height(), child<QLabel>("SpeedNoticeLabel")->geometry().bottom());
    form->showOutputPulses(QStringLiteral("Выход контроллера : объем газа 0,000 м3"), false);
    EXPECT_EQ(form->heights().FullHeight, fullBefore);
    form->showImitPanel(0);
    EXPECT_EQ(form->height(), form->heights().CompactHeight);
}

TEST_F(AppFixture, StoredPortOpensAtControllerSpeed) {
    writeSettings("[rs 232]\nCOM Port=2\nRTS=0\n");
    start();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openedDevice(), QStringLiteral("/dev/ttyS1"));
    EXPECT_EQ(port.openedBaud(), 1200);
    EXPECT_EQ(labelText("PortLabel"), QStringLiteral("Порт COM2"));
    EXPECT_EQ(labelText("RTSLabel"), QStringLiteral("RTS - не управлять"));
    // Address and speed are fixed values of the controller link.
    EXPECT_EQ(labelText("ShortAddrLabel"), QStringLiteral("Короткий адр. 255"));
    EXPECT_EQ(labelText("TypeConnectLabel"), QStringLiteral(" скор.1200"));

    EXPECT_TRUE(form->close());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(readSettings().contains(QStringLiteral("COM Port=2")));
}

TEST_F(AppFixture, StoredPortThatFailsIsReportedAndForgottenBeforeTheWindowCloses) {
    writeSettings("[rs 232]\nCOM Port=3\nRTS=1\n");
    port.failOpen = true;
    ModalScript script;
    script.expectBoxStartingWith(QStringLiteral("GetLastError"), QStringLiteral("No such file or directory"),
                                 QMessageBox::Information);
    start();
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.unexpected(), 0);
    EXPECT_EQ(labelText("PortLabel"), QStringLiteral("Порт  - NONE"));
    EXPECT_EQ(program->link.PortNumber(), 0);
    EXPECT_TRUE(readSettings().contains(QStringLiteral("COM Port=0"))) << readSettings().toStdString();
}

TEST_F(AppFixture, CloseButtonClosesOnlyInItsCloseKind) {
    writeSettings("[rs 232]\nCOM Port=1\nRTS=1\n");
    start();
    auto* closeBtn = child<QPushButton>("CloseBtn");
    ASSERT_TRUE(closeBtn);

    form->setStopMode(true);
    EXPECT_EQ(closeBtn->text(), QStringLiteral("&Stop"));
    closeBtn->click();
    EXPECT_EQ(program->stopControl.StopRequested, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(port.isOpen());

    form->setStopMode(false);
    EXPECT_EQ(closeBtn->text(), QStringLiteral("&Close"));
    closeBtn->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(readSettings().contains(QStringLiteral("COM Port=1")));
}

TEST_F(AppFixture, CloseDuringAJobWaitsForTheJobToEnd) {
    writeSettings("[rs 232]\nCOM Port=1\nRTS=1\n");
    start();
    QFile::remove(settingsPath());
    bool closedInside = true;
    ModalScript script;
    script.then([&](QWidget* dialog) {
        // The job's dialog is up: the port and the window must stay until the job has ended.
        closedInside = form->close();
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(port.isOpen());
        qobject_cast<QDialog*>(dialog)->reject();
    });
    child<QPushButton>("ImitFlButton")->click();
    EXPECT_TRUE(script.done());
    EXPECT_FALSE(closedInside);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(readSettings().contains(QStringLiteral("COM Port=1")));
}

// Records the key presses it gets, to show that the hook lets them through.
class KeyRecorder : public QWidget {
public:
    int escapes = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape)
            ++escapes;
        QWidget::keyPressEvent(e);
    }
};

TEST_F(AppFixture, EscapeAnywhereRequestsStopAndStillReachesItsWindow) {
    start();
    int wakes = 0;
    program->stopControl.onStopRequested = [&] { ++wakes; };
    KeyRecorder other;
    other.show();

    QTest::keyClick(&other, Qt::Key_A);
    EXPECT_EQ(program->stopControl.StopRequested, 0);

    QTest::keyClick(&other, Qt::Key_Escape);
    EXPECT_EQ(program->stopControl.StopRequested, 1);
    EXPECT_EQ(other.escapes, 1);
    EXPECT_GE(wakes, 1);

    program->stopControl.StopRequested = 0;
    QTest::keyClick(child<QPushButton>("UstavkiButton"), Qt::Key_Escape);
    EXPECT_EQ(program->stopControl.StopRequested, 1);

    // The hook goes with the window.
    form.reset();
    program->stopControl.StopRequested = 0;
    QTest::keyClick(&other, Qt::Key_Escape);
    EXPECT_EQ(program->stopControl.StopRequested, 0);
}

TEST_F(AppFixture, BadRequestBoxStandsAtTheOwnersCorner) {
    start();
    form->move(120, 90);
    // The owner's window, and the main window for a job's request, which names no owner.
    for (QObject* owner :
         {static_cast<QObject*>(child<QPushButton>("UstavkiButton")), static_cast<QObject*>(nullptr)}) {
        QPoint boxPos;
        ModalScript script;
        script.then([&](QWidget* w) {
            boxPos = w->pos();
            EXPECT_EQ(w->windowTitle(), QStringLiteral("Error"));
            EXPECT_EQ(BoxText(w), QStringLiteral("Bad request"));
            EXPECT_EQ(qobject_cast<QMessageBox*>(w)->icon(), QMessageBox::Critical);
            ClickOk(w);
        });
        program->linkUi.showBadRequest(owner);
        EXPECT_TRUE(script.done());
        EXPECT_EQ(boxPos, form->pos());
    }
}

TEST_F(AppFixture, JobsMessagesAndQuestionsAreBoxesOverTheWindow) {
    start();
    const auto expectOverWindow = [&](QWidget* box, const QString& caption, QMessageBox::Icon icon) {
        EXPECT_EQ(box->parentWidget(), form.get());
        EXPECT_EQ(box->windowTitle(), caption);
        EXPECT_EQ(qobject_cast<QMessageBox*>(box)->icon(), icon);
    };
    const QString msg = QStringLiteral("Сообщение");
    const std::vector<std::pair<Notice, QMessageBox::Icon>> kinds = {
        {Notice::Information, QMessageBox::Information},
        {Notice::Warning, QMessageBox::Warning},
        {Notice::Error, QMessageBox::Critical}};
    ModalScript script;
    for (const auto& kind : kinds)
        script.then([&, icon = kind.second](QWidget* box) {
            expectOverWindow(box, msg, icon);
            QTest::keyClick(box, Qt::Key_Escape); // OK is the Escape answer
        });
    // A question: No is the default and the Escape answer.
    script.then([&](QWidget* box) {
        expectOverWindow(box, msg, QMessageBox::Question);
        EXPECT_EQ(qobject_cast<QMessageBox*>(box)->defaultButton(),
                  qobject_cast<QMessageBox*>(box)->button(QMessageBox::No));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    script.then([](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
    for (const auto& kind : kinds)
        form->tell(kind.first, msg, QStringLiteral("текст"));
    EXPECT_FALSE(form->ask(msg, QStringLiteral("Загрузить?")));
    EXPECT_TRUE(form->ask(msg, QStringLiteral("Загрузить?")));
    EXPECT_TRUE(script.done());
    EXPECT_EQ(script.boxes.size(), 5u);
}

TEST(ProgramTest, SettingsFileComesFromTheEnvironmentWhenNamed) {
    const QByteArray saved = qgetenv("RMZ47_SETTINGS");
    qputenv("RMZ47_SETTINGS", "/tmp/demo/marvil.ini");
    EXPECT_EQ(SettingsPathFromEnvironment(), QStringLiteral("/tmp/demo/marvil.ini"));
    qputenv("RMZ47_SETTINGS", "");
    EXPECT_EQ(SettingsPathFromEnvironment(), DefaultSettingsPath());
    qunsetenv("RMZ47_SETTINGS");
    EXPECT_EQ(SettingsPathFromEnvironment(), DefaultSettingsPath());
    if (!saved.isNull())
        qputenv("RMZ47_SETTINGS", saved);
}

} // namespace
