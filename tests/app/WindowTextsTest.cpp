// What a screen reader and a Russian-speaking engineer get from every window: each label's accessible name
// carries the text it shows, each control has a name, and Qt's own buttons speak Russian.
#include "AppFixture.h"
#include "CfgFile.h"
#include "CfgForm.h"
#include "Clock.h"
#include "Imitunit.h"
#include "JournalWindow.h"
#include "ModalScript.h"
#include "MonitorWindow.h"
#include "Paramsrs.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "SerialDevices.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTranslator>

namespace {

QString AccessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// A part of a composite control (a spin box's edit line, a combo box's edit line and list) is named by
// the control.
bool IsPart(const QWidget* w) {
    for (const QWidget* up = w->parentWidget(); up; up = up->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(up) || qobject_cast<const QComboBox*>(up))
            return true;
    return false;
}

// Labels still empty get a text as their window would show one: a name set beside it would hide it.
void ExpectTextsReachScreenReaders(QWidget* window) {
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        const QString what =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty())
                label->setText(QStringLiteral("текст окна"));
            const QString shown = label->text().remove(QLatin1Char('&'));
            EXPECT_TRUE(AccessibleName(label).contains(shown))
                << what.toStdString() << ": \"" << AccessibleName(label).toStdString() << "\" hides \""
                << shown.toStdString() << '"';
        } else if ((w->focusPolicy() & Qt::TabFocus) && !IsPart(w)) {
            EXPECT_FALSE(AccessibleName(w).isEmpty()) << what.toStdString() << " has no name";
        }
    }
}

class WindowTextsTest : public AppFixture {};

TEST_F(WindowTextsTest, EveryWindowNamesItsControlsAndLetsItsLabelsBeRead) {
    start();
    form->showImitPanel(3);
    form->showLinkNotice(LinkNotice::Port, QStringLiteral("Порт потерян в 12:00:00 (нет устройства)"));
    QTemporaryDir dir;
    qputenv("RMZ47_MONITOR_SETTINGS", dir.filePath(QStringLiteral("monitor.ini")).toLocal8Bit());
    SystemDeviceSource devices;
    Link link;
    link.clock = &SystemClock();
    CfgContext cfg;
    WizardForms wizard;
    const struct {
        const char* window;
        std::function<std::unique_ptr<QWidget>()> make;
    } windows[] = {
        {"main", [&] { return std::unique_ptr<QWidget>(); }},
        {"link",
         [&] {
             auto d = std::make_unique<TParamsRSForm>();
             d->PortGroup()->setItemIndex(1);
             d->setDevices(devices, {{1, QStringLiteral("/dev/rmz47-absent")}});
             return std::unique_ptr<QWidget>(std::move(d));
         }},
        {"configuration", [&] { return std::unique_ptr<QWidget>(new TCfgForm(cfg, wizard)); }},
        {"wizard step 1", [] { return std::unique_ptr<QWidget>(new TPodborForm1); }},
        {"wizard step 2", [] { return std::unique_ptr<QWidget>(new TPodborForm2); }},
        {"imitation", [&] { return std::unique_ptr<QWidget>(new TImitForm(program->imit)); }},
        {"monitor",
         [&] {
             auto m = std::make_unique<TMonitorForm>(link, nullptr);
             m->open();
             m->job(monitor::JobKind::Configure, true);
             m->showProgress(QStringLiteral("Чтение таблицы 0, попытка 1 из 5"));
             static const quint8 echo[] = {0xFF, 0xFF, 0xFF, 0xCC};
             link.tap.record(LineEventKind::Echo, LineDirection::In, echo, sizeof echo, 4);
             link.tap.deliver();
             m->monitor().flush();
             return std::unique_ptr<QWidget>(std::move(m));
         }},
        {"journal",
         [&] {
             auto j = std::make_unique<JournalWindow>(dir.filePath(QStringLiteral("journal.jsonl")));
             j->reload();
             return std::unique_ptr<QWidget>(std::move(j));
         }},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(w.window);
        const std::unique_ptr<QWidget> made = w.make();
        ExpectTextsReachScreenReaders(made ? made.get() : form.get());
    }
    EXPECT_TRUE(labelText("PortStateLabel").startsWith(QStringLiteral("Порт потерян")));
}

// The tool's own question answers "Да" or "Нет"; its own captions ("OK" of the link dialog) stay.
TEST_F(WindowTextsTest, QtsOwnButtonsSpeakRussianAndTheProgramRunsWithoutTheTranslation) {
    QTemporaryDir empty;
    EXPECT_EQ(InstallQtRussian(qApp, empty.path()), nullptr);
    const std::unique_ptr<QTranslator> russian(InstallQtRussian(nullptr));
    ASSERT_NE(russian, nullptr) << "qtbase_ru.qm from qt6-translations-l10n";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("v2.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    CfgRecord saved;
    saved.Answer = 700; // within the form's range
    file.write(CfgFileBytes(saved, 2, QDateTime::currentDateTime()));
    file.close();
    CfgContext cfg;
    cfg.SoftVersion = 4;
    WizardForms wizard;
    TCfgForm cfgForm(cfg, wizard);
    ModalScript script;
    QStringList buttons;
    script.then([&buttons](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->button(QMessageBox::No))
            return ForceClose(w);
        buttons << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(cfgForm.loadFromFile(path));
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("&Да"), QStringLiteral("&Нет")}));
    TParamsRSForm link;
    EXPECT_EQ(link.findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->text(), QStringLiteral("OK"));
    EXPECT_EQ(link.findChild<QAbstractButton*>(QStringLiteral("BitBtn2"))->text(), QStringLiteral("Cancel"));
}

} // namespace
