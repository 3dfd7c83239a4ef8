// Shared window helpers: the exception box, the application title, the radio group and the spin edit.
#include "UiCommon.h"
#include "ModalScript.h"
#include "UserError.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(ExceptionBoxText, FullStopOnlyAfterCharactersAboveTheFullStop) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"Неверное значение!", "Неверное значение!"}, // '!' (0x21) is below '.' (0x2E)
        {"Введите число ", "Введите число "},         // so is the space
        {"Port failure", "Port failure."},
        {"'abc' is not a valid floating point value", "'abc' is not a valid floating point value."},
        {"Range 1..5", "Range 1..5."},
        {"Done.", "Done."},
        {"a-", "a-"},
        {"a/", "a/."}, // '/' is 0x2F
        {"Ошибка", "Ошибка."},
        {"", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ExceptionBoxText(QString::fromUtf8(r.in)), QString::fromUtf8(r.out)) << r.in;
}

TEST(ApplicationTitle, FromTheProgramFileName) {
    const struct {
        const char* path;
        const char* title;
    } rows[] = {
        {"C:\\Tools\\RMZ47.EXE", "Rmz47"},
        {"C:\\Tools.v2\\Service.Tool.exe", "Service"}, // a dot in the folder does not count
        {"/usr/local/bin/rmz47", "rmz47"},             // the first character keeps its case
        {"./build/bin/RMZ47", "Rmz47"},
        {"rmz47.sim", "rmz47"},
        {"X", "X"},
        {"", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ApplicationTitleFrom(QString::fromUtf8(r.path)), QString::fromUtf8(r.title)) << r.path;
}

TEST(RunShowingExceptions, ShowsWhatEscapesAndGoesOn) {
    struct Row {
        std::function<void()> body;
        const char* shown; // nullptr: no box
    };
    const Row rows[] = {
        {[] { throw UserError(QStringLiteral("Число нитей вне диапазона!")); }, "Число нитей вне диапазона!"},
        {[] { throw std::runtime_error("Port failure"); }, "Внутренняя ошибка программы: Port failure."},
        {[] { throw 42; }, "Внутренняя ошибка программы."},
        {[] {}, nullptr},
    };
    for (const Row& r : rows) {
        ModalScript script;
        if (r.shown)
            script.expectBox(ApplicationTitle(), QString::fromUtf8(r.shown), QMessageBox::Critical);
        EXPECT_EQ(RunShowingExceptions(nullptr, r.body), r.shown == nullptr);
        EXPECT_TRUE(script.done());
        EXPECT_EQ(script.unexpected(), 0);
    }
}

TEST(RadioGroup, ItemIndexFollowsClicksAndSettersWithinRange) {
    RadioGroup g;
    g.setObjectName(QStringLiteral("SpeedRadioGroup"));
    g.setItems({"600", "1200", "2400", "4800", "9600"});
    g.setColumns(2);
    EXPECT_EQ(g.itemIndex(), -1);
    QSignalSpy clicked(&g, &RadioGroup::clicked);

    g.setItemIndex(3);
    EXPECT_EQ(g.itemIndex(), 3);
    EXPECT_EQ(clicked.count(), 0); // only the operator's clicks

    g.button(1)->click();
    EXPECT_EQ(g.itemIndex(), 1);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 1);

    g.setItemIndex(5); // beyond the items: no choice
    EXPECT_EQ(g.itemIndex(), -1);
    g.setItemIndex(2);
    g.setItemIndex(-1);
    EXPECT_EQ(g.itemIndex(), -1);

    // New items or columns keep a choice that still exists.
    g.setItemIndex(4);
    g.setColumns(3);
    EXPECT_EQ(g.itemIndex(), 4);
    g.setItems({"a", "b"});
    EXPECT_EQ(g.itemIndex(), -1);
    EXPECT_EQ(g.button(1)->objectName(), QStringLiteral("SpeedRadioGroup_item1"));
}

TEST(SpinEdit, HoldsItsValueWithinItsBounds) {
    SpinEdit s;
    s.setRange(2, 10);
    const struct {
        const char* typed;
        int value;
    } rows[] = {{"5", 5}, {"0", 2}, {"99", 10}, {"-3", 2}, {"abc", 2}, {"", 2}, {" 7 ", 7}};
    for (const auto& r : rows) {
        s.setValue(6);
        s.findChild<QLineEdit*>()->setText(QString::fromUtf8(r.typed));
        s.interpretText();
        EXPECT_EQ(s.value(), r.value) << r.typed;
    }
    s.setValue(100);
    EXPECT_EQ(s.value(), 10);
}

} // namespace
