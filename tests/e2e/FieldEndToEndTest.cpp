// The two jobs one after the other against the controller in field mode: the operator configures two runs
// at 9600 bit/s, the controller polls them as soon as the tool has been quiet for 10 s, the tool's
// imitation answers, and the controller's output pulses (emitted and held back) are the volume it accepted
// divided by its volume a pulse.
#include "ConfigureTestDriver.h"
#include "E2eSupport.h"

#include "ImitLoop.h"
#include "UiCommon.h"

#include <QRadioButton>
#include <QRegularExpression>

namespace {

RadioGroup* Group(QWidget* w, const char* name) {
    return static_cast<RadioGroup*>(w->findChild<QWidget*>(name));
}

class FieldEndToEnd : public ToolOnSim {};

TEST_F(FieldEndToEnd, ConfiguredRunsArePolledAndTheirVolumeBecomesPulses) {
    // The factory record: one run at 1200, 100 m3 a pulse.
    startSim({"--field", "--state", statePath(), "--table4",
              "01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 51 01 01"});
    startTool();
    ModalScript script;
    script.then(OkBox())
        .then(On("CfgForm",
                 [](QWidget* w) {
                     Group(w, "FlRadioGroup")->button(1)->click();
                     Group(w, "Speed1RadioGroup")->button(7)->click(); // 9600
                     Group(w, "Speed2RadioGroup")->button(7)->click();
                     Edit(w, "PeriodEdit")->setText(QStringLiteral("1"));
                     Edit(w, "AnswerEdit")->setText(QStringLiteral("5"));
                     ClickChild(w, "BitBtn1");
                 }))
        .then(OkBox());
    button("UstavkiButton")->click();
    ASSERT_TRUE(script.done());
    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[1].text, QStringLiteral("Конфигурация успешно записана!"));
    // The imitation answers for the runs just configured.
    EXPECT_EQ(program->imit.ImitFlIndex, 1);
    EXPECT_EQ(program->imit.ImitSpeedIndex, 7);

    // 100 and 1000 m3/s: 11 pulses a second are due, pulse and pause of 0.1 s let 5 out.
    program->imit.ImitRashod = {360000.0, 3600000.0, 3600.0};
    int accepted[2] = {0, 0};
    bool stopping = false;
    sim->onLine = [&](const QByteArray& line) {
        for (int r = 0; r < 2; ++r)
            accepted[r] +=
                line.contains(" rx ") && line.contains("run " + QByteArray::number(r + 1) + ": flow");
        if (!stopping && accepted[0] >= 3 && accepted[1] >= 3 && form->inStopMode()) {
            stopping = true;
            QTimer::singleShot(0, [this] { button("CloseBtn")->click(); });
        }
    };
    Watchdog dog(120000, [this] { program->stopControl.requestStop(); });
    RunImitation(*form, program->link, program->imit, program->stopControl);

    const QString out = QString::fromLocal8Bit(sim->stop());
    static const QRegularExpression totals(QStringLiteral(
        R"(field v3 \(by flow\): output pulses (\d+) held back (\d+) \| run 1 1:1@9600 .* volume ([\d.]+) m3 )"
        R"(answers (\d+) unanswered \d+ \| run 2 2:1@9600 .* volume ([\d.]+) m3 answers (\d+))"));
    const auto m = totals.match(out);
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    const QString exitLine = out.mid(m.capturedStart()).section(QLatin1Char('\n'), 0, 0);
    EXPECT_FALSE(exitLine.contains(QStringLiteral("paused"))) << "the tool has been quiet for over 10 s";
    EXPECT_GE(m.captured(4).toInt(), 3);
    EXPECT_GE(m.captured(6).toInt(), 3);
    const double pulses = m.captured(1).toDouble() + m.captured(2).toDouble();
    const double volume = m.captured(3).toDouble() + m.captured(5).toDouble();
    EXPECT_NEAR(pulses, volume / 100.0, 1.0);
    EXPECT_GT(m.captured(2).toInt(), 0) << "11 pulses a second due, 5 allowed: some wait";
    EXPECT_GT(LastImitRun().ImitAnswers[0], 2);
}

} // namespace
