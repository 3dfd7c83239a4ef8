// The configuration form: its design, the run-count handler, the spin edits' bounds, values in and out,
// and the wizard on activation.
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ConfigureTestDriver.h"
#include "UiCommon.h"

#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace {

class CfgFormTest : public ::testing::Test {
protected:
    void SetUp() override { wizard = CreateWizardForms(); }
    void TearDown() override { DestroyWizardForms(wizard); }
    CfgContext cfg;
    WizardForms wizard;
};

TEST_F(CfgFormTest, DesignCaptionsAndTexts) {
    TCfgForm form(cfg, wizard);
    EXPECT_EQ(form.objectName(), QStringLiteral("CfgForm"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Конфигурация контроллера :"));
    EXPECT_EQ(form.size(), QSize(566, 450));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()); // not resizable

    const std::pair<const char*, const char*> titles[] = {
        {"FlRadioGroup", "Количество Ниток :"},
        {"PeriodGroupBox", "Период опроса (1-10), с :"},
        {"AnswerGroupBox", "Ожидание ответа (5-20), с :"},
        {"VGroupBox", "Объем газа на один импульс :"},
        {"NagGroupBox", "Длительность импульса (0,1 - 2), с :"},
        {"PauseGroupBox", "Длительность паузы (0,1 - 1), с :"},
        {"GroupBox1", "Максимальное количество попыток опроса Вычислителя (2-10):"},
        {"Speed2RadioGroup", "Скорость :"},
        {"RadioGroup3", "Порядок байт в float :"},
    };
    for (auto [name, title] : titles) {
        auto* g = form.findChild<QGroupBox*>(name);
        ASSERT_NE(g, nullptr) << name;
        EXPECT_EQ(g->title(), QString::fromUtf8(title)) << name;
    }
    const std::pair<const char*, const char*> texts[] = {
        {"Label9", "с"},
        {"Label10", "с"},
        {"Label1", "м3"},
        {"Label7", "с"},
        {"Label8", "с"},
        {"AddrLabel2", "Адрес (1-255):"},
        {"NitkaLabel3", "Нитка (1-3):"},
        {"SantarTriesLabel", ""},
    };
    for (auto [name, text] : texts) {
        auto* l = form.findChild<QLabel*>(name);
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(l->text(), QString::fromUtf8(text)) << name;
    }
    const std::pair<const char*, const char*> buttons[] = {
        {"ChangeVButton", "Изменить значение"}, {"BitBtn1", "Записать"}, {"BitBtn2", "Отменить"}};
    for (auto [name, text] : buttons)
        EXPECT_EQ(form.findChild<QPushButton*>(name)->text(), QString::fromUtf8(text)) << name;
}

TEST_F(CfgFormTest, DesignItemsAndInitialStates) {
    TCfgForm form(cfg, wizard);
    EXPECT_EQ(form.FlRadioGroup()->items(), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(form.FlRadioGroup()->columns(), 3);
    EXPECT_EQ(form.FlRadioGroup()->itemIndex(), -1);
    const QStringList speeds = {"600",  "1200", "2400",  "3200",  "4800", "6400",
                                "7680", "9600", "12800", "19200", "38400"};
    auto* tabs = form.findChild<QTabWidget*>("TabbedNotebook1");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(tabs->tabText(n - 1), QStringLiteral("Нитка %1").arg(n));
        auto* speed = form.findChild<RadioGroup*>(QStringLiteral("Speed%1RadioGroup").arg(n));
        EXPECT_EQ(speed->items(), speeds);
        EXPECT_EQ(speed->columns(), 4);
        EXPECT_EQ(speed->itemIndex(), -1);
        auto* order = form.findChild<RadioGroup*>(QStringLiteral("RadioGroup%1").arg(n));
        EXPECT_EQ(order->items(), (QStringList{"Инверсный (старший байт по младшему адресу)",
                                               "Прямой (младший байт по младшему адресу)"}));
        EXPECT_EQ(order->itemIndex(), 0);
        EXPECT_FALSE(order->isEnabled());
        for (const char* base : {"AddrSpinEdit", "NitkaSpinEdit"}) {
            auto* s = form.findChild<SpinEdit*>(QString::fromLatin1(base) + QString::number(n));
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->minimum(), 1);
            EXPECT_EQ(s->maximum(), 255);
            EXPECT_EQ(s->value(), 1);
        }
    }
    auto* tries = form.findChild<SpinEdit*>("FlTriesSpinEdit");
    EXPECT_EQ(tries->minimum(), 2);
    EXPECT_EQ(tries->maximum(), 10);
    EXPECT_TRUE(tries->isHidden());
    EXPECT_TRUE(form.findChild<QLabel*>("SantarTriesLabel")->isHidden());
    EXPECT_FALSE(form.VEdit()->isEnabled());
}

TEST_F(CfgFormTest, TabOrderRunsFromTheRunCountToTheRunPages) {
    TCfgForm form(cfg, wizard);
    QStringList order;
    QWidget* w = form.FlRadioGroup()->button(0);
    for (int i = 0; i < 40 && w && order.size() < 13; ++i, w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        // A spin edit takes the focus in its inner line edit.
        const QString name = w->objectName() == QLatin1String("qt_spinbox_lineedit")
                                 ? w->parentWidget()->objectName()
                                 : w->objectName();
        if (order.isEmpty() || order.back() != name)
            order << name;
    }
    EXPECT_EQ(order.join(' ').toStdString(),
              "FlRadioGroup_item0 FlRadioGroup_item1 FlRadioGroup_item2 PeriodEdit AnswerEdit VEdit "
              "ChangeVButton NagEdit PauseEdit FlTriesSpinEdit BitBtn1 BitBtn2 qt_tabwidget_tabbar");
}

bool RunEnabled(QWidget* form, int n, bool expected) {
    const QString d = QString::number(n);
    bool all = true;
    for (const QString& name : {"AddrSpinEdit" + d, "NitkaSpinEdit" + d, "Speed" + d + "RadioGroup",
                                "RadioGroup" + d, "AddrLabel" + d, "NitkaLabel" + d}) {
        QWidget* w = form->findChild<QWidget*>(name);
        if (!w || w->isEnabled() != expected) {
            ADD_FAILURE() << name.toStdString() << " should be " << (expected ? "enabled" : "disabled");
            all = false;
        }
    }
    return all;
}

TEST_F(CfgFormTest, RunCountEnablesTheRunsInUseAndKeepsTheOthersValues) {
    TCfgForm form(cfg, wizard);
    form.FlRadioGroupClick(); // no item chosen: one run
    RunEnabled(&form, 1, true);
    RunEnabled(&form, 2, false);
    RunEnabled(&form, 3, false);

    CfgFormValues v;
    v.flIndex = 0;
    v.addr = {5, 6, 7};
    form.setValues(v);
    form.FlRadioGroupClick();
    RunEnabled(&form, 2, false);

    form.FlRadioGroup()->button(2)->click(); // "3" by the operator
    RunEnabled(&form, 1, true);
    RunEnabled(&form, 2, true);
    RunEnabled(&form, 3, true);
    form.FlRadioGroup()->button(1)->click(); // "2"
    RunEnabled(&form, 2, true);
    RunEnabled(&form, 3, false);
    form.FlRadioGroup()->button(0)->click(); // "1"
    RunEnabled(&form, 2, false);
    RunEnabled(&form, 3, false);
    // Disabled runs keep their values and are still read back.
    const CfgFormValues back = form.values();
    EXPECT_EQ(back.addr, (std::array<int, 3>{5, 6, 7}));
    auto* tabs = form.findChild<QTabWidget*>("TabbedNotebook1");
    EXPECT_TRUE(tabs->isTabEnabled(2)); // the pages themselves stay selectable
}

TEST_F(CfgFormTest, ValuesGoInAndComeBackWithSpinEditsHeldToTheirBounds) {
    TCfgForm form(cfg, wizard);
    CfgFormValues v;
    v.flIndex = 2;
    v.period = "3,000";
    v.answer = "7,000";
    v.v = "0,600";
    v.nag = "0,100";
    v.pause = "0,200";
    v.addr = {0, 300, 17};
    v.nitka = {2, 0, 256};
    v.speedIndex = {7, 1, 10};
    v.byteOrder = {1, 0, 1};
    v.triesVisible = true;
    v.tries = 15;
    form.setValues(v);
    EXPECT_FALSE(form.findChild<QWidget*>("FlTriesSpinEdit")->isHidden());
    EXPECT_FALSE(form.findChild<QWidget*>("SantarTriesLabel")->isHidden());
    const CfgFormValues b = form.values();
    EXPECT_EQ(b.flIndex, 2);
    EXPECT_EQ(b.period, "3,000");
    EXPECT_EQ(b.answer, "7,000");
    EXPECT_EQ(b.v, "0,600");
    EXPECT_EQ(b.nag, "0,100");
    EXPECT_EQ(b.pause, "0,200");
    EXPECT_EQ(b.addr, (std::array<int, 3>{1, 255, 17}));
    EXPECT_EQ(b.nitka, (std::array<int, 3>{2, 1, 255}));
    EXPECT_EQ(b.speedIndex, (std::array<int, 3>{7, 1, 10}));
    EXPECT_EQ(b.byteOrder, (std::array<int, 3>{1, 0, 1}));
    EXPECT_TRUE(b.triesVisible);
    EXPECT_EQ(b.tries, 10);

    v.triesVisible = false;
    v.tries = 1;
    form.setValues(v);
    EXPECT_TRUE(form.findChild<QWidget*>("FlTriesSpinEdit")->isHidden());
    EXPECT_FALSE(form.findChild<QWidget*>("GroupBox1")->isHidden());
    EXPECT_EQ(form.values().tries, 2);
}

TEST_F(CfgFormTest, ActivationStartsTheWizardOnlyForAControllerNotConfigured) {
    cfg.SoftVersion = 3;
    for (int state : {0, 1, 2}) {
        SCOPED_TRACE(state);
        cfg.CfgState = quint8(state);
        TCfgForm form(cfg, wizard);
        CfgFormValues v;
        RecordToForm(cfg, v);
        form.setValues(v);
        ModalScript s;
        if (state == 0) {
            s.then(On("PodborForm1", [](QWidget* w) {
                 ClickChild(w, "BitBtnYes");
             })).then(On("PodborForm2", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
        }
        s.then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn2"); }));
        // A second showing of the same form does not start the wizard again.
        s.then(On("CfgForm", [](QWidget* w) { ClickChild(w, "BitBtn1"); }));
        EXPECT_EQ(form.exec(), QDialog::Rejected);
        EXPECT_EQ(form.exec(), QDialog::Accepted);
        EXPECT_TRUE(s.done());
        EXPECT_EQ(cfg.CfgState, state == 0 ? 2 : state);
    }
}

} // namespace
