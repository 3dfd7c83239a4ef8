// The configure job against the virtual controller over a pseudo-terminal: the tool's COM1 is mapped to
// the simulator through a settings file, the real serial port and clock are used, and what the job wrote
// is read back from the simulator.
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ConfigureTestDriver.h"
#include "FakeView.h"
#include "ImitSettings.h"
#include "Now_opros.h"
#include "Program.h"
#include "Protocol.h"
#include "QtPort.h"
#include "RecordingLinkUi.h"
#include "SimProcess.h"
#include "UiCommon.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 10000;

class ConfigureAgainstSim : public ::testing::Test {
protected:
    void start(const QStringList& simArgs) {
        ASSERT_TRUE(dir.isValid());
        const QString com1 = dir.filePath(QStringLiteral("com1"));
        ASSERT_TRUE(
            StartSim(sim, QStringLiteral(RMZ47_SIM_PATH), QStringList{"--link", com1, "--quiet"} + simArgs));

        const QString settings = dir.filePath(QStringLiteral("marvil.ini"));
        ASSERT_TRUE(WriteCom1Settings(settings, com1));
        ASSERT_TRUE(OpenCom1(link, port, linkUi, settings));

        wizard = CreateWizardForms();
        view.wizard = &wizard;
    }
    void TearDown() override {
        DestroyWizardForms(wizard);
        ClosePort(link);
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            sim.waitForFinished(kWaitMs);
        }
    }

    // Table 4 as the simulator now holds it.
    CfgRecord readBack(quint8 softVersion, int* dataBytes) {
        CfgContext fresh;
        fresh.SoftVersion = softVersion;
        BuildReadRequest(link, 4);
        const Reply reply = Exchange(link, nullptr, false);
        const int n = reply.count;
        EXPECT_TRUE(AcceptCfgAnswer(reply.answer, fresh)) << "count " << n;
        *dataBytes = n - 10;
        return fresh.record;
    }

    QTemporaryDir dir;
    QProcess sim;
    QtPort port;
    Link link;
    void run() {
        RunConfigureJob(view, link, cfg,
                        [this](const CfgRecord& r, int speedIndex) { TakeRunLayout(imit, r, speedIndex); });
    }

    RecordingLinkUi linkUi;
    FakeView view;
    CfgContext cfg;
    ImitSettings imit;
    WizardForms wizard;
    ModalScript script;
};

RadioGroup* Group(QWidget* w, const char* name) {
    return static_cast<RadioGroup*>(w->findChild<QWidget*>(name));
}

TEST_F(ConfigureAgainstSim, ConfiguredVersionThreeReadEditedAndWrittenBack) {
    start({"--soft-version", "3"});
    script.then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     // The simulator's factory record.
                     EXPECT_EQ(Edit(w, "VEdit")->text(), QStringLiteral("100,000"));
                     EXPECT_EQ(Group(w, "FlRadioGroup")->itemIndex(), 0);
                     EXPECT_FALSE(w->findChild<QWidget*>("FlTriesSpinEdit")->isHidden());
                     Group(w, "FlRadioGroup")->button(1)->click();
                     Edit(w, "PeriodEdit")->setText("2,5");
                     Edit(w, "AnswerEdit")->setText("8");
                     Edit(w, "NagEdit")->setText("0.2");
                     Edit(w, "PauseEdit")->setText("0,3");
                     w->findChild<QSpinBox*>("AddrSpinEdit2")->setValue(9);
                     w->findChild<QSpinBox*>("NitkaSpinEdit2")->setValue(3);
                     Group(w, "Speed1RadioGroup")->button(7)->click();
                     Group(w, "Speed2RadioGroup")->button(9)->click();
                     Group(w, "RadioGroup1")->button(1)->click(); // run 1 direct
                     w->findChild<QSpinBox*>("FlTriesSpinEdit")->setValue(7);
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[0].text, QStringLiteral("Версия ПО 3 (выдача импульсов по расходу)"));
    EXPECT_EQ(script.boxes[1].text, QStringLiteral("Конфигурация успешно записана!"));

    int dataBytes = 0;
    const CfgRecord back = readBack(3, &dataBytes);
    EXPECT_EQ(dataBytes, 23);
    EXPECT_EQ(back, cfg.record);
    EXPECT_EQ(back.FlCount, 2);
    EXPECT_EQ(back.Period, 250);
    EXPECT_EQ(back.Answer, 800);
    EXPECT_EQ(back.Nag, 20);
    EXPECT_EQ(back.Pause, 30);
    EXPECT_EQ(back.V, 100.0f);
    EXPECT_EQ(back.Addr[1], 9);
    EXPECT_EQ(back.Nitka[1], 3);
    EXPECT_EQ(back.Speed[0], proto::SpeedIndexToCode(7));
    EXPECT_EQ(back.Speed[1], proto::SpeedIndexToCode(9));
    EXPECT_EQ(back.Flags, (std::array<quint8, 3>{0x70, 1, 1})); // 7 attempts, run 1 direct
    EXPECT_EQ(imit.ImitSpeedIndex, 7);
    EXPECT_EQ(imit.ImitFlIndex, 1);
}

TEST_F(ConfigureAgainstSim, NotConfiguredVersionOneGetsTheWizardsValuesInTwentyBytes) {
    start({"--soft-version", "1", "--unconfigured"});
    script.then(OkBox())
        .then(OkBox()) // not configured
        .then(On("PodborForm1", [](QWidget* w) { ClickChild(w, "BitBtnYes"); }))
        .then(On("PodborForm2",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("1,000")); // by volume
                     ClickChild(w, "BitBtn2");
                 }))
        .then(On("CfgForm",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "VEdit")->text(), QStringLiteral("60,000"));
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    run();
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 3u);
    EXPECT_EQ(script.boxes[0].text, QStringLiteral("Версия ПО 1 (выдача импульсов по объему)"));
    EXPECT_EQ(script.boxes[1].text, QStringLiteral("Устройство не законфигурировано!"));
    EXPECT_EQ(script.boxes[2].text, QStringLiteral("Конфигурация успешно записана!"));

    int dataBytes = 0;
    const CfgRecord back = readBack(1, &dataBytes);
    EXPECT_EQ(dataBytes, 21);
    EXPECT_EQ(back.V, 60.0f);
    EXPECT_EQ(back.Period, 100);
    EXPECT_EQ(back.Answer, 700);
    const auto a = back.encode(), b = cfg.record.encode();
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 20, b.begin())); // the 20 bytes written
}

} // namespace
