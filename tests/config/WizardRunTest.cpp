// Whole runs of the pulse-value wizard: its two step dialogs driven on top of the configuration form.
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ConfigureTestDriver.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "UiCommon.h"
#include "UserError.h"
#include "Wizard.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

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

void Set(QWidget* w, const char* edit, const QString& text) {
    Edit(w, edit)->setText(text);
}

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
     })).then(On("PodborForm2", [](QWidget* w) {
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

// The step-1 part of the step-loop run: every field refused once, the close box, then all accepted.
void ScriptStepOneRefusals(ModalScript& s, const CfgContext& cfg) {
    s.then(On("PodborForm1",
              [](QWidget* w) {
                  Set(w, "QMaxEdit", "abc");
                  ClickChild(w, "BitBtnYes");
              }))
        .then(OkBox()) // conversion error; QMax stays as it was
        .then(On("PodborForm1",
                 [&cfg](QWidget* w) {
                     EXPECT_EQ(cfg.QMax, 3600.0);
                     Set(w, "QMaxEdit", "0");
                     Set(w, "NagEdit", "junk"); // not reached: the maximum flow fails first
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(OkBox())
        .then(On("PodborForm1",
                 [&cfg](QWidget* w) {
                     EXPECT_EQ(cfg.QMax, 0.0);           // taken at once, before its check
                     static_cast<QDialog*>(w)->reject(); // the close box: shown again
                 }))
        .then(On("PodborForm1",
                 [](QWidget* w) {
                     Set(w, "QMaxEdit", "1000");
                     Set(w, "NagEdit", "2,01");
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(OkBox())
        .then(On("PodborForm1",
                 [](QWidget* w) {
                     Set(w, "NagEdit", "2");
                     Set(w, "PauseEdit", "1.01");
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(OkBox())
        .then(On("PodborForm1", [](QWidget* w) {
            EXPECT_EQ(Edit(w, "PauseEdit")->text(), QStringLiteral("1,01")); // normalised in place
            Set(w, "PauseEdit", "1");
            ClickChild(w, "BitBtnYes");
        }));
}

// Then back from step 2, step 1 checked again on the way forward, and step 2's refusals.
void ScriptBackAndStepTwoRefusals(ModalScript& s) {
    s.then(On("PodborForm2",
              [](QWidget* w) {
                  EXPECT_EQ(w->findChild<QLabel*>("Label1")->text(),
                            QString::fromUtf16(WizardText::PeriodHintByVolume));
                  EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("1,000"));
                  Set(w, "PeriodEdit", "7");
                  ClickChild(w, "BitBtn1"); // back
              }))
        .then(On("PodborForm1",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "QMaxEdit")->text(), QStringLiteral("1000"));
                     EXPECT_EQ(Edit(w, "NagEdit")->text(), QStringLiteral("2"));
                     EXPECT_EQ(Edit(w, "PauseEdit")->text(), QStringLiteral("1"));
                     Set(w, "NagEdit", "0,09"); // checked again on the way forward
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(OkBox())
        .then(On("PodborForm1",
                 [](QWidget* w) {
                     Set(w, "NagEdit", "2");
                     ClickChild(w, "BitBtnYes");
                 }))
        .then(On("PodborForm2",
                 [](QWidget* w) {
                     EXPECT_EQ(Edit(w, "PeriodEdit")->text(), QStringLiteral("7"));
                     Set(w, "PeriodEdit", "10,5");
                     ClickChild(w, "BitBtn2");
                 }))
        .then(OkBox())
        .then(On("PodborForm2",
                 [](QWidget* w) {
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
}

TEST_F(WizardDialogs, StepLoopChecksFieldsGoesBackAndIgnoresTheCloseBox) {
    cfg.SoftVersion = 2; // by volume
    cfg.CfgState = 0;
    auto form = makeForm();
    const QString appTitle = ApplicationTitle();
    ModalScript s;
    ScriptStepOneRefusals(s, cfg);
    ScriptBackAndStepTwoRefusals(s);
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
        s.then(On("PodborForm1", [](QWidget* w) {
             ClickChild(w, "BitBtnYes");
         })).then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
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

// Answers the wizard's dialogs with one value under test typed into `edit` of `dialog`: on to the next
// step at each dialog's first showing, back and out after a refusal (step 1's way out must be visible).
ModalScript::Action WalkWizard(QSet<QString>& seen, const char* dialog, const char* edit,
                               const QString& text) {
    return [&seen, dialog, edit, text](QWidget* w) {
        if (qobject_cast<QMessageBox*>(w))
            return OkBox()(w);
        const QString name = w->objectName();
        const bool first = !seen.contains(name);
        seen.insert(name);
        if (first && name == QLatin1String(dialog))
            Set(w, edit, text);
        ClickChild(w, !first ? "BitBtn1" : name == QLatin1String("PodborForm1") ? "BitBtnYes" : "BitBtn2");
    };
}

// Every row of the timed-value table bounds the record conversion and the wizard's steps alike: both
// bounds pass both, and a hundredth beyond either is refused by each with its own message.
TEST_F(WizardDialogs, TimedRangeRowsBoundTheRecordAndTheWizardAlike) {
    struct Field {
        TimedField field;
        QString CfgFormValues::*text;
        const char* dialog;
        const char* edit;
        const char16_t* wizardMessage;
    };
    const Field fields[] = {
        {TimedField::Nag, &CfgFormValues::nag, "PodborForm1", "NagEdit", WizardText::NagRange},
        {TimedField::Pause, &CfgFormValues::pause, "PodborForm1", "PauseEdit", WizardText::PauseRange},
        {TimedField::Period, &CfgFormValues::period, "PodborForm2", "PeriodEdit", WizardText::PeriodRange},
        {TimedField::Answer, &CfgFormValues::answer, "PodborForm2", "AnswerEdit", WizardText::AnswerRange},
    };
    ASSERT_EQ(std::size(fields), kTimedRanges.size());
    auto form = makeForm();
    wizard.PodborForm1->BitBtn1()->setVisible(true); // a refused run is left through it
    for (const Field& f : fields) {
        const SecondsRange& range = TimedRange(f.field);
        for (auto [x, inside] : {std::pair{range.low, true},
                                 {range.high, true},
                                 {range.low * 0.99, false},
                                 {range.high * 1.01, false}}) {
            const QString text = QString::number(x, 'g', 12);
            SCOPED_TRACE(text.toStdString());
            CfgContext record;
            CfgFormValues v{.period = "1", .answer = "5", .v = "1", .nag = "0,1", .pause = "0,1"};
            v.*f.text = text;
            QString error;
            try {
                FormToRecordChecked(record, v);
            } catch (const UserError& e) {
                error = e.message();
            }
            EXPECT_EQ(error, inside ? QString() : QString::fromUtf16(range.message));

            cfg.CfgState = 0;
            QSet<QString> seen;
            ModalScript s;
            for (int i = 0; i < 5; ++i) // a refusal in step 2 takes five dialogs, a completed run two
                s.then(WalkWizard(seen, f.dialog, f.edit, text));
            form->WizardButtonClick();
            ASSERT_EQ(s.boxes.size(), inside ? 0u : 1u);
            if (!inside) {
                EXPECT_EQ(s.boxes[0].text, QString::fromUtf16(f.wizardMessage));
            }
            EXPECT_EQ(cfg.CfgState, inside ? 2 : 0);
        }
    }
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
     })).then(On("PodborForm2", [](QWidget* w) {
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
     })).then(On("PodborForm2", [](QWidget* w) {
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
    s.then(On("PodborForm1",
              [](QWidget* w) {
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
        .then(On("PodborForm1",
                 [](QWidget* w) { // back to the maximum flow
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

} // namespace
