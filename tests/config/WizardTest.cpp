// The pulse-value wizard's arithmetic (volume and range for known inputs in both variants, the extended
// precision it needs, the maximum flow recovered from a stored configuration, what it refuses) and its
// step dialogs on their own.
#include "Wizard.h"
#include "NumText.h"
#include "Podborunit.h"
#include "Podborunit2.h"

#include <QImage>
#include <QPushButton>
#include <QTest>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>

namespace {

struct Example {
    const char* name;
    double qmax, pulse, pause;
    bool byFlow;
    const char* v;     // VEdit, 3 decimals
    const char* range; // [VLow - VHigh], 1 decimal
};

const Example kExamples[] = {
    {"by flow, defaults", 3600, 0.1, 0.1, true, "0,600", "[0,2 - 2,0]"},
    {"by volume, defaults: 20 s floor", 3600, 0.1, 0.1, false, "60,000", "[20,0 - 200,0]"},
    {"by flow, upper bound raised to 1", 100, 0.1, 0.1, true, "0,100", "[0,1 - 1,0]"},
    {"by flow, tenths", 1000, 0.5, 0.5, true, "0,900", "[0,3 - 2,8]"},
    {"by volume, floor of 1.111", 200, 0.5, 0.5, false, "4,000", "[2,0 - 12,0]"},
};

TEST(WizardArithmetic, KnownInputsGiveTheirVolumeAndRange) {
    for (const Example& e : kExamples) {
        SCOPED_TRACE(e.name);
        const std::optional<PulseVolume> r = ComputePulseVolume(e.qmax, e.pulse, e.pause, e.byFlow);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(FormatNumber(r->recommended, 3), QString::fromUtf8(e.v));
        EXPECT_EQ(QStringLiteral("[%1 - %2]").arg(FormatNumber(r->low, 1), FormatNumber(r->high, 1)),
                  QString::fromUtf8(e.range));
    }
    // The bounds are the float values themselves, compared by the configure flow in single precision.
    const PulseVolume first = *ComputePulseVolume(3600, 0.1, 0.1, true);
    EXPECT_EQ(first.low, 0.2f);
    EXPECT_EQ(first.high, 2.0f);
    EXPECT_EQ(first.recommended, 0.6);
    EXPECT_EQ(WizardRangeCaption(first.low, first.high),
              QStringLiteral("Объем газа на один импульс [0,2 - 2,0] :"));
}

TEST(WizardArithmetic, DoublePrecisionChainWouldRoundUpToSevenTenths) {
    // The trap the extended evaluation avoids: in doubles B*3*10 is 6.000000000000001 and its ceiling 7.
    volatile double pulse = 0.1, pause = 0.1, qmax = 3600;
    const double b = (pause + pulse) * qmax * (1.0 / 3600);
    const double wrong = std::ceil(b * 3 * 10) * 0.1;
    EXPECT_EQ(FormatNumber(wrong, 3), QStringLiteral("0,700"));
    EXPECT_EQ(FormatNumber(ComputePulseVolume(qmax, pulse, pause, true)->recommended, 3),
              QStringLiteral("0,600"));
}

TEST(WizardArithmetic, ReconstructsMaximumFlowAndRefusesWhatItCannot) {
    const std::optional<double> q = ReconstructQMax(0.6f, 10, 10);
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ(FormatNumber(*q, 1), QStringLiteral("3600,0"));
    // A stored pulse plus pause of 0, or a stored volume that is not a number, gives nothing to recover.
    EXPECT_FALSE(ReconstructQMax(0.6f, 0, 0).has_value());
    EXPECT_FALSE(ReconstructQMax(0.0f, 0, 0).has_value());
    EXPECT_FALSE(ReconstructQMax(std::nanf(""), 10, 10).has_value());
    EXPECT_FALSE(ReconstructQMax(INFINITY, 10, 10).has_value());
    EXPECT_TRUE(ReconstructQMax(FLT_MAX, 255, 255).has_value());
}

TEST(WizardArithmetic, BoundsBeyondTheFloatRangeAreRefused) {
    // 1e40 still fits: B = 5.6e36, VHigh = 5.6e37.
    EXPECT_TRUE(ComputePulseVolume(1e40, 0.1, 0.1, true).has_value());
    for (double qmax : {1e42, 1e300, DBL_MAX}) {
        SCOPED_TRACE(qmax);
        EXPECT_FALSE(ComputePulseVolume(qmax, 0.1, 0.1, true).has_value());
        EXPECT_FALSE(ComputePulseVolume(qmax, 2, 1, false).has_value());
    }
    EXPECT_FALSE(ComputePulseVolume(INFINITY, 0.1, 0.1, true).has_value());
}

// The step dialogs on their own: step 1's way out is red and Escape takes it only while it shows; step 2's
// way back is as green as its way on, and Escape takes it.
TEST(WizardStepDialogs, ArrowsAndEscape) {
    const auto colourOf = [](QPushButton* b) {
        return b->icon().pixmap(32, 32).toImage().pixelColor(16, 16);
    };
    const QColor red(200, 0, 0), green(0, 160, 0);
    TPodborForm1 one;
    TPodborForm2 two;
    struct Step {
        const char* name;
        QDialog* dialog;
        QPushButton* back;
        QPushButton* forward;
        QColor backColour;
    };
    for (const Step& s : {Step{"step 1", &one, one.BitBtn1(), one.BitBtnYes(), red},
                          Step{"step 2", &two, two.BitBtn1(), two.BitBtn2(), green}}) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(colourOf(s.back), s.backColour);
        EXPECT_EQ(colourOf(s.forward), green);
        EXPECT_EQ(s.back->iconSize(), QSize(32, 32));

        s.dialog->show();
        QTest::keyClick(s.dialog, Qt::Key_Escape);
        EXPECT_FALSE(s.dialog->isVisible());
        EXPECT_EQ(s.dialog->result(), kModalNo);

        s.dialog->show();
        s.forward->click();
        EXPECT_FALSE(s.dialog->isVisible());
        EXPECT_EQ(s.dialog->result(), kModalYes);
    }

    // With its way out hidden, step 1 stays open on Escape.
    one.BitBtn1()->hide();
    one.setResult(0);
    one.show();
    QTest::keyClick(&one, Qt::Key_Escape);
    EXPECT_TRUE(one.isVisible());
    EXPECT_EQ(one.result(), 0);
    one.hide();
}
} // namespace
