// The pulse-value wizard: its arithmetic on the worked examples, and the two step dialogs driven on top
// of the configuration form.
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ConfigureTestDriver.h"
#include "NumText.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "UiCommon.h"
#include "Wizard.h"

#include <QImage>
#include <QLabel>
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

TEST(WizardArithmetic, WorkedExamplesComeOutExactly) {
    for (const Example& e : kExamples) {
        SCOPED_TRACE(e.name);
        const std::optional<PulseVolume> r = ComputePulseVolume(e.qmax, e.pulse, e.pause, e.byFlow);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(FormatNumber(r->recommended, 3), QString::fromUtf8(e.v));
        EXPECT_EQ(QStringLiteral("[%1 - %2]").arg(FormatNumber(r->low, 1), FormatNumber(r->high, 1)), QString::fromUtf8(e.range));
    }
    // The bounds are the float values themselves, compared by the configure flow in single precision.
    const PulseVolume first = *ComputePulseVolume(3600, 0.1, 0.1, true);
    EXPECT_EQ(first.low, 0.2f);
    EXPECT_EQ(first.high, 2.0f);
    EXPECT_EQ(first.recommended, 0.6);
    EXPECT_EQ(WizardRangeCaption(first.low, first.high), QStringLiteral("Объем газа на один импульс [0,2 - 2,0] :"));
}

TEST(WizardArithmetic, DoublePrecisionChainWouldRoundUpToSevenTenths) {
    // The trap the extended evaluation avoids: in doubles B*3*10 is 6.000000000000001 and its ceiling 7.
    volatile double pulse = 0.1, pause = 0.1, qmax = 3600;
    const double b = (pause + pulse) * qmax * (1.0 / 3600);
    const double wrong = std::ceil(b * 3 * 10) * 0.1;
    EXPECT_EQ(FormatNumber(wrong, 3), QStringLiteral("0,700"));
    EXPECT_EQ(FormatNumber(ComputePulseVolume(qmax, pulse, pause, true)->recommended, 3), QStringLiteral("0,600"));
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

// ---- the dialogs ----

class WizardDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        wizard = CreateWizardForms();
        cfg.SoftVersion = 3;
    }
    void TearDown() override { DestroyWizardForms(wizard); }

    // A configuration form filled from the record as the configure flow fills it.
    std::unique_ptr<TCfgForm> makeForm() {
        auto form = std::make_unique<TCfgForm>(cfg, wizard);
        CfgFormValues v;
        RecordToForm(cfg, v);
        form->setValues(v);
        form->FlRadioGroupClick();
        cfg.VRangeSet = false;
        form->VEdit()->setEnabled(false);
        wizard.PodborForm1->BitBtn1()->setVisible(false);
        return form;
    }

    CfgContext cfg;
    WizardForms wizard;
};

void Set(QWidget* w, const char* edit, const QString& text) { Edit(w, edit)->setText(text); }

TEST_F(WizardDialogs, FirstRunWithDefaultsFillsTheForm) {
    cfg.CfgState = 0;
    auto form = makeForm();
    ModalScript s;
    s.then(On("PodborForm1", [](QWidget* w) {
         EXPECT_EQ(w->windowTitle(), QStringLiteral("Подбор значений конфигурации  (Шаг 1 из 2)"));
         EXPECT_EQ(Edit(w, "QMaxEdit")->text(), QStringLiteral("3600"));
         EXPECT_EQ(Edit(w, "NagEdit")->text(), QStringLiteral("0,100"));
         EXPECT_EQ(Edit(w, "PauseEdit")->text(), QStringLiteral("0,100"));
         // No way back in a configuration's first run: the button is hidden and Escape does nothing.
         EXPECT_TRUE(w->findChild<QWidget*>("BitBtn1")->isHidden());
         QTest::keyClick(w, Qt::Key_Escape);
         EXPECT_TRUE(w->isVisible());
         ClickChild(w, "BitBtnYes");
     }))
        .then(On("PodborForm2", [](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), QStringLiteral("Подбор значений конфигурации  (Шаг 2 из 2)"));
            EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("3,000"));
            EXPECT_EQ(Edit(w, "AnswerEdit")->text(), QStringLiteral("7,000"));
            EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(), QString::fromUtf16(WizardText::PeriodHintByFlow));
            ClickChild(w, "BitBtn2");
        }));
    form->WizardButtonClick();
    EXPECT_TRUE(s.done());

    EXPECT_EQ(form->VEdit()->text(), QStringLiteral("0,600"));
    EXPECT_EQ(form->VGroupBox()->title(), QStringLiteral("Объем газа на один импульс [0,2 - 2,0] :"));
    EXPECT_EQ(form->NagEdit()->text(), QStringLiteral("0,100"));
    EXPECT_EQ(form->PauseEdit()->text(), QStringLiteral("0,100"));
    EXPECT_EQ(form->PeriodEdit()->text(), QStringLiteral("3,000"));
    EXPECT_EQ(form->AnswerEdit()->text(), QStringLiteral("7,000"));
    EXPECT_TRUE(form->VEdit()->isEnabled());
    EXPECT_EQ(form->ChangeVButton()->text(), QStringLiteral("Подобрать значение"));
    EXPECT_FALSE(wizard.PodborForm1->BitBtn1()->isHidden());
    EXPECT_EQ(cfg.CfgState, 2);
    EXPECT_TRUE(cfg.VRangeSet);
    EXPECT_EQ(cfg.VLow, 0.2f);
    EXPECT_EQ(cfg.VHigh, 2.0f);
    EXPECT_EQ(cfg.QMax, 3600.0);
}

TEST_F(WizardDialogs, StepLoopChecksFieldsGoesBackAndIgnoresTheCloseBox) {
    cfg.SoftVersion = 2; // by volume
    cfg.CfgState = 0;
    auto form = makeForm();
    const QString appTitle = ApplicationTitle();
    ModalScript s;
    s.then(On("PodborForm1", [](QWidget* w) {
         Set(w, "QMaxEdit", "abc");
         ClickChild(w, "BitBtnYes");
     }))
        .then(OkBox()) // conversion error; QMax stays as it was
        .then(On("PodborForm1", [this](QWidget* w) {
            EXPECT_EQ(cfg.QMax, 3600.0);
            Set(w, "QMaxEdit", "0");
            Set(w, "NagEdit", "junk"); // not reached: the maximum flow fails first
            ClickChild(w, "BitBtnYes");
        }))
        .then(OkBox())
        .then(On("PodborForm1", [this](QWidget* w) {
            EXPECT_EQ(cfg.QMax, 0.0); // taken at once, before its check
            static_cast<QDialog*>(w)->reject(); // the close box: shown again
        }))
        .then(On("PodborForm1", [](QWidget* w) {
            Set(w, "QMaxEdit", "1000");
            Set(w, "NagEdit", "2,01");
            ClickChild(w, "BitBtnYes");
        }))
        .then(OkBox())
        .then(On("PodborForm1", [](QWidget* w) {
            Set(w, "NagEdit", "2");
            Set(w, "PauseEdit", "1.01");
            ClickChild(w, "BitBtnYes");
        }))
        .then(OkBox())
        .then(On("PodborForm1", [](QWidget* w) {
            EXPECT_EQ(Edit(w, "PauseEdit")->text(), QStringLiteral("1,01")); // normalised in place
            Set(w, "PauseEdit", "1");
            ClickChild(w, "BitBtnYes");
        }))
        .then(On("PodborForm2", [](QWidget* w) {
            EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(), QString::fromUtf16(WizardText::PeriodHintByVolume));
            EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("1,000"));
            Set(w, "PeriodEdit", "7");
            ClickChild(w, "BitBtn1"); // back
        }))
        .then(On("PodborForm1", [](QWidget* w) {
            EXPECT_EQ(Edit(w, "QMaxEdit")->text(), QStringLiteral("1000"));
            EXPECT_EQ(Edit(w, "NagEdit")->text(), QStringLiteral("2"));
            EXPECT_EQ(Edit(w, "PauseEdit")->text(), QStringLiteral("1"));
            Set(w, "NagEdit", "0,09"); // checked again on the way forward
            ClickChild(w, "BitBtnYes");
        }))
        .then(OkBox())
        .then(On("PodborForm1", [](QWidget* w) {
            Set(w, "NagEdit", "2");
            ClickChild(w, "BitBtnYes");
        }))
        .then(On("PodborForm2", [](QWidget* w) {
            EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("7"));
            Set(w, "PeriodEdit", "10,5");
            ClickChild(w, "BitBtn2");
        }))
        .then(OkBox())
        .then(On("PodborForm2", [](QWidget* w) {
            Set(w, "PeriodEdit", "10");
            Set(w, "AnswerEdit", "4,9");
            ClickChild(w, "BitBtn2");
        }))
        .then(OkBox())
        .then(On("PodborForm2", [](QWidget* w) { static_cast<QDialog*>(w)->reject(); }))
        .then(On("PodborForm2", [](QWidget* w) {
            Set(w, "AnswerEdit", "20");
            ClickChild(w, "BitBtn2");
        }));
    form->WizardButtonClick();
    EXPECT_TRUE(s.done());

    const QStringList expected = {
        QStringLiteral("'abc' is not a valid floating point value."),
        QString::fromUtf16(WizardText::QMaxNotPositive),
        QString::fromUtf16(WizardText::NagRange),
        QString::fromUtf16(WizardText::PauseRange),
        QString::fromUtf16(WizardText::NagRange),
        QString::fromUtf16(WizardText::PeriodRange),
        QStringLiteral("Время ожидания ответа должно быть от 5 до 20 секунд!! "),
    };
    ASSERT_EQ(s.boxes.size(), std::size_t(expected.size()));
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(s.boxes[i].text, expected[i]);
        EXPECT_EQ(s.boxes[i].caption, appTitle);
        EXPECT_EQ(s.boxes[i].icon, QMessageBox::Critical);
    }
    // By volume, 1000 m3/h, 2 s + 1 s: B = 0.833 is below the floor 5.556; R = 17, range 6 to 56.
    EXPECT_EQ(form->VEdit()->text(), QStringLiteral("17,000"));
    EXPECT_EQ(form->VGroupBox()->title(), QStringLiteral("Объем газа на один импульс [6,0 - 56,0] :"));
    EXPECT_EQ(form->NagEdit()->text(), QStringLiteral("2"));
    EXPECT_EQ(form->PauseEdit()->text(), QStringLiteral("1"));
    EXPECT_EQ(form->PeriodEdit()->text(), QStringLiteral("10,000"));
    EXPECT_EQ(form->AnswerEdit()->text(), QStringLiteral("20,000"));
}

TEST_F(WizardDialogs, LaterRunStartsFromTheFormAndCanBeLeftWithoutChanges) {
    cfg.CfgState = 0;
    auto form = makeForm();
    {
        ModalScript s;
        s.then(On("PodborForm1", [](QWidget* w) { ClickChild(w, "BitBtnYes"); }))
            .then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
        form->WizardButtonClick();
        ASSERT_TRUE(s.done());
    }
    form->NagEdit()->setText(QStringLiteral("0,5"));
    form->AnswerEdit()->setText(QStringLiteral("9"));
    const float low = cfg.VLow, high = cfg.VHigh;
    ModalScript s;
    s.then(On("PodborForm1", [](QWidget* w) {
        EXPECT_EQ(Edit(w, "QMaxEdit")->text(), QStringLiteral("3600,0"));
        EXPECT_EQ(Edit(w, "NagEdit")->text(), QStringLiteral("0,5"));
        EXPECT_FALSE(w->findChild<QWidget*>("BitBtn1")->isHidden());
        Set(w, "QMaxEdit", "50");
        QTest::keyClick(w, Qt::Key_Escape); // the visible back button: the wizard is left
    }));
    form->WizardButtonClick();
    EXPECT_TRUE(s.done());
    EXPECT_EQ(cfg.QMax, 3600.0); // No does not read the maximum flow
    EXPECT_EQ(form->VEdit()->text(), QStringLiteral("0,600"));
    EXPECT_EQ(form->NagEdit()->text(), QStringLiteral("0,5"));
    EXPECT_EQ(form->AnswerEdit()->text(), QStringLiteral("9"));
    EXPECT_EQ(cfg.VLow, low);
    EXPECT_EQ(cfg.VHigh, high);
    EXPECT_EQ(cfg.CfgState, 2);
}

TEST_F(WizardDialogs, ReconstructsMaximumFlowFromAConfiguredController) {
    cfg.CfgState = 1;
    cfg.QMax = 1234;
    cfg.record.V = 0.6f;
    cfg.record.Nag = 10;
    cfg.record.Pause = 10;
    auto form = makeForm();
    ModalScript s;
    s.then(On("PodborForm1", [](QWidget* w) {
        EXPECT_EQ(Edit(w, "QMaxEdit")->text(), QStringLiteral("3600,0"));
        EXPECT_EQ(Edit(w, "NagEdit")->text(), QStringLiteral("0,100"));
        ClickChild(w, "BitBtnYes");
    }))
        .then(On("PodborForm2", [](QWidget* w) {
            EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("3,000"));
            EXPECT_EQ(Edit(w, "AnswerEdit")->text(), QStringLiteral("1,000")); // from the form, unchecked yet
            Set(w, "AnswerEdit", "7");
            ClickChild(w, "BitBtn2");
        }));
    form->WizardButtonClick();
    EXPECT_TRUE(s.done());
    EXPECT_EQ(form->VEdit()->text(), QStringLiteral("0,600"));
}

TEST_F(WizardDialogs, StoredZeroPulseAndPauseKeepsTheMaximumFlowAndTheFormUsable) {
    cfg.CfgState = 1;
    cfg.QMax = 1000;
    cfg.record.V = 5.0f;
    cfg.record.Nag = 0;
    cfg.record.Pause = 0;
    auto form = makeForm();
    ModalScript s;
    s.then(On("PodborForm1", [](QWidget* w) {
        EXPECT_EQ(Edit(w, "QMaxEdit")->text(), QStringLiteral("1000,0"));
        Set(w, "NagEdit", "0,5");
        Set(w, "PauseEdit", "0,5");
        ClickChild(w, "BitBtnYes");
    }))
        .then(On("PodborForm2", [](QWidget* w) {
            Set(w, "AnswerEdit", "7");
            ClickChild(w, "BitBtn2");
        }));
    form->WizardButtonClick();
    EXPECT_TRUE(s.done());
    EXPECT_EQ(cfg.QMax, 1000.0);
    EXPECT_EQ(form->VEdit()->text(), QStringLiteral("0,900"));
    EXPECT_EQ(cfg.CfgState, 2);
}

TEST_F(WizardDialogs, MaximumFlowBeyondTheFloatRangeIsRefusedWithoutTouchingTheForm) {
    cfg.CfgState = 0;
    auto form = makeForm();
    const QString vBefore = form->VEdit()->text();
    const QString titleBefore = form->VGroupBox()->title();
    ModalScript s;
    s.then(On("PodborForm1", [](QWidget* w) {
         Set(w, "QMaxEdit", "1e42");
         ClickChild(w, "BitBtnYes");
     }))
        .then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }))
        .then([&](QWidget* w) {
            EXPECT_FALSE(cfg.VRangeSet);
            EXPECT_EQ(cfg.VLow, 0.0f);
            EXPECT_EQ(cfg.VHigh, 0.0f);
            EXPECT_EQ(form->VEdit()->text(), vBefore);
            EXPECT_EQ(form->VGroupBox()->title(), titleBefore);
            EXPECT_FALSE(form->VEdit()->isEnabled());
            OkBox()(w);
        })
        .then(On("PodborForm1", [](QWidget* w) { // back to the maximum flow
            Set(w, "QMaxEdit", "3600");
            ClickChild(w, "BitBtnYes");
        }))
        .then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
    form->WizardButtonClick();
    EXPECT_TRUE(s.done());
    ASSERT_GE(s.boxes.size(), 1u);
    EXPECT_EQ(s.boxes[0].text, QString::fromUtf16(WizardText::QMaxTooLarge));
    EXPECT_EQ(s.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(form->VEdit()->text(), QStringLiteral("0,600"));
    EXPECT_TRUE(cfg.VRangeSet);
}

// The step dialogs on their own: step 1's way out is red and Escape takes it only while it shows; step 2's
// way back is as green as its way on, and Escape takes it.
TEST(WizardStepDialogs, ArrowsAndEscape) {
    const auto colourOf = [](QPushButton* b) { return b->icon().pixmap(32, 32).toImage().pixelColor(16, 16); };
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
