// The imitation settings dialog: filling, the slot boxes, the take-over on OK with its refusals, Cancel.
#include "ImitFixture.h"
#include "Imitunit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

struct Form {
    QWidget* w;
    template <class T = QWidget> T* get(const QString& name) const {
        T* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c;
    }
    QLineEdit* rashod(int n) const { return get<QLineEdit>(QStringLiteral("Rashod%1Edit").arg(n)); }
    RadioGroup* radio(const QString& name) const { return get<RadioGroup>(name); }
    SpinEdit* spin(const QString& name) const { return get<SpinEdit>(name); }
    void ok() const { get<QPushButton>(QStringLiteral("BitBtn1"))->click(); }
    void cancel() const { get<QPushButton>(QStringLiteral("BitBtn2"))->click(); }
    // Chooses a radio item the way the operator does (the click handler runs).
    void choose(const QString& group, int item) const { radio(group)->button(item)->click(); }
    bool hidden(int n) const { return get(QStringLiteral("GroupBox%1").arg(n))->isHidden(); }
};

// Opens the dialog on `imit`, lets `act` work on it and returns what EditImitSettings returned.
bool withDialog(ImitSettings& imit, const std::function<void(const Form&)>& act) {
    bool ran = false;
    OnNextModal([&](QWidget* w) {
        ran = true;
        Form f{w};
        act(f);
        if (w->isVisible()) // the test left it open: end it so that the test cannot hang
            f.cancel();
    });
    // A message box nobody expected would wait for a click forever: close it and fail.
    QTimer watchdog;
    QString unexpected;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            unexpected = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    watchdog.start(200);
    QWidget parent;
    const bool accepted = EditImitSettings(imit, &parent);
    EXPECT_TRUE(ran);
    EXPECT_EQ(unexpected, QString()) << "unexpected message box";
    return accepted;
}

bool sameSettings(const ImitSettings& a, const ImitSettings& b) {
    return a.ImitFlIndex == b.ImitFlIndex && a.ImitAddr == b.ImitAddr && a.ImitNitka == b.ImitNitka &&
           a.ImitRashod == b.ImitRashod && a.ImitMsbFirst == b.ImitMsbFirst &&
           a.ImitSpeedIndex == b.ImitSpeedIndex;
}

} // namespace

TEST(ImitForm, FreshSettingsFillTheForm) {
    ImitSettings imit;
    withDialog(imit, [](const Form& f) {
        EXPECT_EQ(f.w->windowTitle(), QStringLiteral("Параметры имитации ответов от Сантар"));
        EXPECT_EQ(f.radio("FlRadioGroup")->itemIndex(), 0);
        EXPECT_EQ(f.radio("SpeedFlRadioGroup")->itemIndex(), 1);
        EXPECT_EQ(f.radio("SpeedFlRadioGroup")->items().join(' '),
                  QStringLiteral("600 1200 2400 3200 4800 6400 7680 9600 12800 19200 38400"));
        for (int n = 1; n <= 3; ++n) {
            EXPECT_EQ(f.spin(QStringLiteral("AddrSpinEdit%1").arg(n))->value(), n);
            EXPECT_EQ(f.spin(QStringLiteral("NitkaSpinEdit%1").arg(n))->value(), 1);
            EXPECT_EQ(f.spin(QStringLiteral("NitkaSpinEdit%1").arg(n))->maximum(), 255);
            EXPECT_EQ(f.rashod(n)->text(), QStringLiteral("3600,000"));
            EXPECT_EQ(f.radio(QStringLiteral("RadioGroup%1").arg(n))->itemIndex(), 0);
        }
        EXPECT_FALSE(f.hidden(1));
        EXPECT_TRUE(f.hidden(2));
        EXPECT_TRUE(f.hidden(3));
        EXPECT_TRUE(f.get<QPushButton>("BitBtn1")->isDefault());
    });
}

TEST(ImitForm, FillsFromTheRecordAndShowsSlotBoxesByCount) {
    ImitSettings imit;
    imit.ImitFlIndex = 1;
    imit.ImitSpeedIndex = 7;
    imit.ImitAddr = {10, 20, 30};
    imit.ImitNitka = {3, 2, 200};
    imit.ImitRashod = {12.5, 1e9, 0.0004};
    imit.ImitMsbFirst = {false, true, false};
    withDialog(imit, [](const Form& f) {
        EXPECT_EQ(f.radio("SpeedFlRadioGroup")->itemIndex(), 7);
        EXPECT_EQ(f.spin("AddrSpinEdit3")->value(), 30);
        EXPECT_EQ(f.spin("NitkaSpinEdit3")->value(), 200);
        EXPECT_EQ(f.rashod(1)->text(), QStringLiteral("12,500"));
        EXPECT_EQ(f.rashod(3)->text(), QStringLiteral("0,000"));
        EXPECT_EQ(f.radio("RadioGroup1")->itemIndex(), 1);
        EXPECT_EQ(f.radio("RadioGroup2")->itemIndex(), 0);
        EXPECT_FALSE(f.hidden(2));
        EXPECT_TRUE(f.hidden(3));
        const struct {
            int item;
            bool hidden2, hidden3;
        } rows[] = {{2, false, false}, {0, true, true}, {1, false, true}};
        for (const auto& r : rows) {
            f.choose("FlRadioGroup", r.item);
            EXPECT_EQ(f.hidden(2), r.hidden2) << r.item;
            EXPECT_EQ(f.hidden(3), r.hidden3) << r.item;
            EXPECT_FALSE(f.hidden(1));
        }
    });
}

TEST(ImitForm, FlowTextsAcceptedAndRefused) {
    const QString notPositive = QStringLiteral("Значение должно быть больше нуля! ");
    struct Row {
        const char* text;
        bool accepted;
        double stored;   // ImitRashod[0] afterwards
        QString message; // the exception box's text when refused
        const char* editAfter;
    };
    const Row rows[] = {
        {"12.5", true, 12.5, {}, "12,5"},
        {"12,5", true, 12.5, {}, "12,5"},
        {" 0.001 ", true, 0.001, {}, " 0,001 "},
        {"1e3", true, 1000, {}, "1e3"},
        {"0", false, 0, notPositive, "0"},
        {"-0.001", false, -0.001, notPositive, "-0,001"},
        {"abc", false, 3600, QStringLiteral("'abc' is not a valid floating point value."), "abc"},
        {"", false, 3600, QStringLiteral("'' is not a valid floating point value."), ""},
        // Would go on the line as infinity.
        {"1e39", false, 1e39, QStringLiteral("Значение расхода слишком велико! "), "1e39"},
    };
    for (const Row& row : rows) {
        ImitSettings imit;
        BoxSeen box;
        QString editAfter;
        const bool accepted = withDialog(imit, [&](const Form& f) {
            f.rashod(1)->setText(QString::fromUtf8(row.text));
            f.radio("SpeedFlRadioGroup")->setItemIndex(10);
            CloseNextBox(box);
            f.ok();
            editAfter = f.rashod(1)->text();
            if (f.w->isVisible()) // refused: the dialog is still there, as the operator left it
                f.cancel();
        });
        EXPECT_EQ(accepted, row.accepted) << row.text;
        EXPECT_EQ(imit.ImitRashod[0], row.stored) << row.text;
        EXPECT_EQ(box.seen, !row.accepted) << row.text;
        EXPECT_EQ(box.text, row.message) << row.text;
        if (box.seen) {
            EXPECT_EQ(box.caption, ApplicationTitle());
        }
        EXPECT_EQ(editAfter, QString::fromUtf8(row.editAfter)) << row.text;
        // The run layout and the speed are taken over only with every visible flow accepted.
        EXPECT_EQ(imit.ImitSpeedIndex, row.accepted ? 10 : 1) << row.text;
    }
}

TEST(ImitForm, DecimalPointOnALocaleWithAPoint) {
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    ImitSettings imit;
    QString shown;
    const bool accepted = withDialog(imit, [&](const Form& f) {
        EXPECT_EQ(f.rashod(1)->text(), QStringLiteral("3600.000"));
        f.rashod(1)->setText(QStringLiteral("12,5"));
        f.ok();
        shown = f.rashod(1)->text();
    });
    QLocale::setDefault(saved);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(imit.ImitRashod[0], 12.5);
    EXPECT_EQ(shown, QStringLiteral("12.5"));
}

TEST(ImitForm, HiddenSlotsAreNotCheckedButTheirAddressesAreTakenOver) {
    ImitSettings imit;
    const bool accepted = withDialog(imit, [](const Form& f) {
        f.rashod(2)->setText(QStringLiteral("not a number"));
        f.rashod(3)->setText(QStringLiteral("-5"));
        f.radio("RadioGroup2")->setItemIndex(1);
        f.radio("RadioGroup1")->setItemIndex(1);
        f.spin("AddrSpinEdit2")->setValue(77);
        f.spin("NitkaSpinEdit3")->setValue(250);
        f.ok();
    });
    EXPECT_TRUE(accepted);
    EXPECT_EQ(imit.ImitFlIndex, 0);
    EXPECT_EQ(imit.ImitMsbFirst, (std::array<bool, 3>{false, true, true}));
    EXPECT_EQ(imit.ImitRashod[1], 3600.0);
    EXPECT_EQ(imit.ImitRashod[2], 3600.0);
    EXPECT_EQ(imit.ImitAddr, (std::array<quint8, 3>{1, 77, 3}));
    EXPECT_EQ(imit.ImitNitka, (std::array<quint8, 3>{1, 1, 250}));
}

TEST(ImitForm, SlotsBeforeARefusedOneAreAlreadyTakenOver) {
    ImitSettings imit;
    BoxSeen box;
    const bool accepted = withDialog(imit, [&](const Form& f) {
        f.choose("FlRadioGroup", 2);
        f.rashod(1)->setText(QStringLiteral("5"));
        f.radio("RadioGroup1")->setItemIndex(1);
        f.rashod(2)->setText(QStringLiteral("0"));
        f.radio("RadioGroup2")->setItemIndex(1);
        f.rashod(3)->setText(QStringLiteral("7.25"));
        f.radio("RadioGroup3")->setItemIndex(1);
        f.spin("AddrSpinEdit1")->setValue(5);
        f.spin("AddrSpinEdit2")->setValue(5); // the same pair twice is allowed
        CloseNextBox(box);
        f.ok();
        ASSERT_TRUE(f.w->isVisible());
        // Slot 1 is in, slot 2 holds the refused value, slot 3 and the layout are untouched.
        EXPECT_EQ(imit.ImitRashod, (std::array<double, 3>{5, 0, 3600}));
        EXPECT_EQ(imit.ImitMsbFirst, (std::array<bool, 3>{false, true, true}));
        EXPECT_EQ(imit.ImitFlIndex, 0);
        EXPECT_EQ(imit.ImitAddr[0], 1);
        f.rashod(2)->setText(QStringLiteral("6"));
        f.ok();
    });
    EXPECT_TRUE(box.seen);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(imit.ImitRashod, (std::array<double, 3>{5, 6, 7.25}));
    EXPECT_EQ(imit.ImitMsbFirst, (std::array<bool, 3>{false, false, false}));
    EXPECT_EQ(imit.ImitFlIndex, 2);
    EXPECT_EQ(imit.ImitAddr, (std::array<quint8, 3>{5, 5, 3}));
}

TEST(ImitForm, CancelChangesNothing) {
    ImitSettings imit;
    imit.ImitFlIndex = 2;
    const ImitSettings before = imit;
    for (const bool byEscape : {false, true}) {
        const bool accepted = withDialog(imit, [byEscape](const Form& f) {
            f.choose("FlRadioGroup", 0);
            f.radio("SpeedFlRadioGroup")->setItemIndex(9);
            for (int n = 1; n <= 3; ++n) {
                f.rashod(n)->setText(QStringLiteral("42"));
                f.radio(QStringLiteral("RadioGroup%1").arg(n))->setItemIndex(1);
                f.spin(QStringLiteral("AddrSpinEdit%1").arg(n))->setValue(99);
            }
            if (byEscape)
                QTest::keyClick(f.w, Qt::Key_Escape);
            else
                f.cancel();
        });
        EXPECT_FALSE(accepted);
        EXPECT_TRUE(sameSettings(imit, before));
    }
}
