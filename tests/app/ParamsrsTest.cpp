// The link-parameters dialog run from the main window: the chosen port and RTS mode, the loop that asks
// for another port while the chosen one fails to open, and what reaches the settings file.
#include "Paramsrs.h"
#include "AppFixture.h"
#include "ModalScript.h"
#include "SerialDevices.h"
#include "Settings.h"
#include "UiCommon.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

using Kind = FakePort::Kind;

RadioGroup* group(QWidget* dialog, const char* name) {
    auto* g = dialog->findChild<RadioGroup*>(QLatin1String(name));
    EXPECT_NE(g, nullptr) << name;
    return g;
}

void choose(QWidget* dialog, const char* groupName, int item) {
    if (RadioGroup* g = group(dialog, groupName))
        g->button(item)->click();
}

void press(QWidget* dialog, const char* buttonName) {
    auto* b = dialog->findChild<QPushButton*>(QLatin1String(buttonName));
    ASSERT_NE(b, nullptr) << buttonName;
    b->click();
}

class LinkDialogTest : public AppFixture {
protected:
    void clickChange() {
        auto* b = child<QPushButton>("ParamRSButton");
        ASSERT_TRUE(b);
        b->click();
        EXPECT_TRUE(script.done());
        EXPECT_EQ(script.unexpected(), 0) << script.unexpectedTexts().join(QLatin1Char('|')).toStdString();
        // The dialog is gone once the handler returns.
        EXPECT_TRUE(form->findChildren<TParamsRSForm*>().isEmpty());
    }
    ModalScript script;
};

TEST_F(LinkDialogTest, ShowsTheLinkAsItStandsWithFixedAddressAndSpeed) {
    writeSettings("[rs 232]\nCOM Port=4\nRTS=0\n");
    start();
    script.then([](QWidget* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Параметры связи"));
        EXPECT_EQ(d->findChild<QLabel*>("AddressLabel")->text(), QStringLiteral("Адрес контроллера 255"));
        EXPECT_EQ(d->findChild<QLabel*>("SpeedLabel")->text(), QStringLiteral("Скорость контроллера 1200"));
        EXPECT_EQ(d->findChild<QLabel*>("SpeedLabel")->font().pointSize(), 12);
        EXPECT_TRUE(d->findChild<QLabel*>("AddressLabel")->font().bold());
        RadioGroup* ports = group(d, "PortGroup");
        EXPECT_EQ(ports->title(), QStringLiteral("COM-порт : "));
        EXPECT_EQ(ports->items(), (QStringList{QStringLiteral("Не выбран"), "COM1", "COM2", "COM3", "COM4",
                                               "COM5", "COM6", "COM7", "COM8"}));
        EXPECT_EQ(ports->itemIndex(), 4);
        RadioGroup* rts = group(d, "RTSRadioGroup");
        EXPECT_EQ(rts->title(), QStringLiteral("Сигнал RTS :"));
        EXPECT_EQ(rts->items(), (QStringList{QStringLiteral("Не управлять"), QStringLiteral("Управлять")}));
        EXPECT_EQ(rts->itemIndex(), 0);
        EXPECT_EQ(d->findChild<QPushButton*>("BitBtn1")->text(), QStringLiteral("OK"));
        EXPECT_TRUE(d->findChild<QPushButton*>("BitBtn1")->isDefault());
        EXPECT_EQ(d->findChild<QPushButton*>("BitBtn2")->text(), QStringLiteral("Cancel"));
        press(d, "BitBtn2");
    });
    clickChange();
}

TEST_F(LinkDialogTest, FailedPortAsksForAnotherAndCancelLeavesNoPort) {
    start();
    port.failOpen = true;
    script
        .then([](QWidget* d) {
            choose(d, "PortGroup", 3);
            choose(d, "RTSRadioGroup", 0);
            press(d, "BitBtn1");
        })
        .expectBoxStartingWith(QStringLiteral("GetLastError"), QStringLiteral("No such file or directory"),
                               QMessageBox::Information)
        .expectBox(QStringLiteral("Message"), QStringLiteral("Select other COM-port!"),
                   QMessageBox::Information)
        .then([](QWidget* d) {
            // Shown again as the operator left it.
            EXPECT_EQ(d->windowTitle(), QStringLiteral("Параметры связи"));
            EXPECT_EQ(group(d, "PortGroup")->itemIndex(), 3);
            EXPECT_EQ(group(d, "RTSRadioGroup")->itemIndex(), 0);
            press(d, "BitBtn2");
        });
    clickChange();

    ASSERT_EQ(port.count(Kind::Open), 1);
    const auto open = std::find_if(port.calls.begin(), port.calls.end(),
                                   [](const auto& c) { return c.kind == Kind::Open; });
    EXPECT_EQ(open->device, QStringLiteral("/dev/ttyS2"));
    EXPECT_EQ(program->link.PortNumber(), 0);
    EXPECT_EQ(program->link.RtsControl(), 0);
    EXPECT_EQ(labelText("PortLabel"), QStringLiteral("Порт  - NONE"));
    EXPECT_EQ(labelText("RTSLabel"), QStringLiteral("RTS - не управлять"));

    EXPECT_TRUE(form->close());
    EXPECT_TRUE(readSettings().contains(QStringLiteral("COM Port=0"))) << readSettings().toStdString();
    EXPECT_TRUE(readSettings().contains(QStringLiteral("RTS=0"))) << readSettings().toStdString();
}

TEST_F(LinkDialogTest, FailedPortThenWorkingPortEndsTheLoop) {
    start();
    port.failOpen = true;
    script
        .then([](QWidget* d) {
            choose(d, "PortGroup", 7);
            press(d, "BitBtn1");
        })
        .then([this](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), QStringLiteral("GetLastError"));
            port.failOpen = false; // the operator plugs the adapter in
            ClickOk(w);
        })
        .expectBox(QStringLiteral("Message"), QStringLiteral("Select other COM-port!"),
                   QMessageBox::Information)
        .then([](QWidget* d) {
            choose(d, "PortGroup", 1);
            press(d, "BitBtn1");
        });
    clickChange();
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.openedDevice(), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(port.openedBaud(), 1200);
    EXPECT_EQ(program->link.PortNumber(), 1);
    EXPECT_EQ(labelText("PortLabel"), QStringLiteral("Порт COM1"));
}

TEST_F(LinkDialogTest, NoPortAcceptsAtOnceAndClosesTheOpenPort) {
    writeSettings("[rs 232]\nCOM Port=2\nRTS=1\n");
    start();
    ASSERT_TRUE(port.isOpen());
    script.then([](QWidget* d) {
        choose(d, "PortGroup", 0);
        press(d, "BitBtn1");
    });
    clickChange();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.count(Kind::Open), 1); // the one at start-up
    EXPECT_EQ(program->link.PortNumber(), 0);
    EXPECT_EQ(labelText("PortLabel"), QStringLiteral("Порт  - NONE"));
    // The choice stays in memory until the window closes.
    EXPECT_TRUE(readSettings().contains(QStringLiteral("COM Port=2")));
}

// "RTS" stored as 5 means switching on; the file keeps 5 unless the operator confirms the dialog.
TEST_F(LinkDialogTest, NonZeroRtsIsWrittenBackAsReadUnlessConfirmed) {
    enum class Action { None, CancelAfterChange, ConfirmUnchanged };
    const struct {
        Action action;
        const char* expected;
    } rows[] = {
        {Action::None, "RTS=5"},
        {Action::CancelAfterChange, "RTS=5"},
        {Action::ConfirmUnchanged, "RTS=1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.action));
        writeSettings("[rs 232]\nCOM Port=0\nRTS=5\n");
        start();
        EXPECT_EQ(labelText("RTSLabel"), QStringLiteral("RTS - управлять"));
        if (row.action == Action::CancelAfterChange) {
            script.then([](QWidget* d) {
                EXPECT_EQ(group(d, "RTSRadioGroup")->itemIndex(), 1);
                choose(d, "RTSRadioGroup", 0);
                press(d, "BitBtn2");
            });
            clickChange();
        } else if (row.action == Action::ConfirmUnchanged) {
            script.then([](QWidget* d) { press(d, "BitBtn1"); });
            clickChange();
        }
        EXPECT_EQ(labelText("RTSLabel"), QStringLiteral("RTS - управлять"));
        EXPECT_TRUE(form->close());
        EXPECT_TRUE(readSettings().contains(QLatin1String(row.expected))) << readSettings().toStdString();
        form.reset();
        program.reset();
    }
}

// A device list as the system would give it, changed by the test as a plug-in would change it.
class FakeDevices : public DeviceSource {
public:
    QList<SerialDeviceInfo> devices() const override { return list; }
    bool exists(const QString& path) const override {
        if (path == QLatin1String("/dev/ttyS0"))
            return true;
        for (const SerialDeviceInfo& d : list)
            if (path == d.systemPath || path == d.stablePath)
                return true;
        return false;
    }
    void plug(const SerialDeviceInfo& device) {
        list << device;
        emit changed();
    }
    QList<SerialDeviceInfo> list;
};

const QString kFtdi = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

// What the open list shows (the edit line shows the path alone).
QStringList ItemTexts(QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemData(i, Qt::DisplayRole).toString();
    return texts;
}

// The device of each COM item: the list offers the mapped device and every device present, follows a
// plug-in, marks a mapped device that is gone; Cancel drops the edits, OK takes them for every COM item,
// and the file gets only the changed mappings at its next save, its other lines kept.
TEST_F(LinkDialogTest, DeviceChoicePerComItemReachesThePortsSection) {
    const QByteArray before = "; kept\n[rs 232]\nCOM Port=1\nRTS=0\n[other]\nkey=value\n"
                              "[ports]\nCOM2=/dev/gone\nCOM9=/dev/foreign\n";
    writeSettings(before);
    FakeDevices devices;
    devices.list = {{"/dev/ttyUSB0", kFtdi, "FT232R USB UART", "FTDI", "A50285BI"},
                    {"/dev/ttyACM0", "", "Modem", "", ""}};
    start();
    program->link.setDevices(&devices);
    EXPECT_TRUE(child<QLabel>("PortLabel")->toolTip().startsWith(QStringLiteral("Устройство: /dev/ttyS0")));
    const auto edit = [&](bool accept) {
        return [&devices, accept](QWidget* d) {
            auto* combo = d->findChild<QComboBox*>("PortDeviceCombo");
            ASSERT_NE(combo, nullptr);
            EXPECT_EQ(combo->accessibleName(), QStringLiteral("Устройство порта"));
            EXPECT_EQ(combo->currentText(), QStringLiteral("/dev/ttyS0"));
            EXPECT_EQ(ItemTexts(combo),
                      (QStringList{"/dev/ttyS0", kFtdi + " — FT232R USB UART, FTDI, № A50285BI, /dev/ttyUSB0",
                                   "/dev/ttyACM0 — Modem"}));
            choose(d, "PortGroup", 2);
            EXPECT_EQ(combo->currentText(), QStringLiteral("/dev/gone"));
            EXPECT_EQ(ItemTexts(combo).value(0), QStringLiteral("/dev/gone — нет в системе"));
            EXPECT_EQ(d->findChild<QLabel*>("DeviceInfoLabel")->text(), QStringLiteral("нет в системе"));
            combo->setCurrentIndex(1);
            EXPECT_EQ(combo->currentText(), kFtdi);
            devices.plug({"/dev/ttyUSB1", "", "CP2102", "Silicon Labs", "0001"});
            EXPECT_EQ(ItemTexts(combo).value(2),
                      QStringLiteral("/dev/ttyUSB1 — CP2102, Silicon Labs, № 0001"));
            EXPECT_EQ(combo->currentText(), kFtdi);
            choose(d, "PortGroup", 3);
            combo->lineEdit()->setText(QStringLiteral("/tmp/ttyFree"));
            choose(d, "PortGroup", 2);
            EXPECT_EQ(combo->currentText(), kFtdi);
            press(d, accept ? "BitBtn1" : "BitBtn2");
        };
    };
    script.then(edit(false));
    clickChange();
    EXPECT_TRUE(program->link.mappedDevices().empty());
    EXPECT_EQ(port.openedDevice(), QStringLiteral("/dev/ttyS0"));

    devices.list.removeLast();
    script.then(edit(true));
    clickChange();
    EXPECT_EQ(program->link.PortNumber(), 2);
    EXPECT_EQ(port.openedDevice(), kFtdi);
    EXPECT_EQ(PortDeviceName(program->link, 3), QStringLiteral("/tmp/ttyFree"));
    EXPECT_TRUE(child<QLabel>("PortLabel")->toolTip().startsWith(QStringLiteral("Устройство: ") + kFtdi));
    EXPECT_EQ(readSettings(), QString::fromUtf8(before)) << "nothing saved before the window closes";

    EXPECT_TRUE(form->close());
    QByteArray expected = before;
    expected.replace("COM Port=1", "COM Port=2").replace("COM2=/dev/gone", "COM2=" + kFtdi.toUtf8());
    expected += "COM3=/tmp/ttyFree\n";
    EXPECT_EQ(readSettings(), QString::fromUtf8(expected));
}

// The dialog opens on OK and Tab goes through it in the window's order. Devices that come and go while
// the operator types change the list only: what is typed, the cursor and a backward selection stay.
TEST(LinkDialogDevices, OpensOnOkTabsInOrderAndRefreshesKeepTheTyping) {
    FakeDevices devices;
    TParamsRSForm form;
    form.PortGroup()->setItemIndex(1);
    form.setDevices(devices, {{1, QStringLiteral("/dev/ttyS0")}});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << QApplication::focusWidget()->objectName().section(QLatin1Char('_'), 0, 0); // any item
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, (QStringList{"BitBtn1", "BitBtn2", "PortGroup", "PortDeviceCombo", "RTSRadioGroup",
                                  "BitBtn1"}));

    QLineEdit* edit = form.PortDeviceCombo()->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("/dev/pts/"));
    devices.plug({"/dev/ttyUSB0", "", "CP2102", "", ""});
    QTest::keyClicks(edit, QStringLiteral("3"));
    edit->setSelection(9, -4);
    devices.plug({"/dev/ttyUSB1", "", "CP2102", "", ""});
    EXPECT_EQ(ItemTexts(form.PortDeviceCombo()).size(), 3); // the list did change
    EXPECT_EQ(edit->text(), QStringLiteral("/dev/pts/3"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("pts/"));
    EXPECT_EQ(edit->cursorPosition(), 5);
    EXPECT_EQ(form.devicePaths().at(1), QStringLiteral("/dev/pts/3"));
}

} // namespace
