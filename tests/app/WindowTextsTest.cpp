// What a screen reader and a Russian-speaking engineer get from the windows: each label's accessible name
// holds the text it shows, each control has a name, and Qt's own buttons speak Russian.
#include "AppFixture.h"
#include "CfgForm.h"
#include "CheckWindow.h"
#include "Imitunit.h"
#include "JournalWindow.h"
#include "MonitorWindow.h"
#include "Paramsrs.h"
#include "Podborunit.h"
#include "Podborunit2.h"
#include "SerialDevices.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QTranslator>
#include <QTreeView>

namespace {

QString NameOf(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// A label still empty gets a text as its window would show one. A spin or combo box names its parts.
void ExpectReadable(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        bool part = false;
        for (QWidget* up = w->parentWidget(); up; up = up->parentWidget())
            part = part || qobject_cast<QAbstractSpinBox*>(up) || qobject_cast<QComboBox*>(up);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty())
                label->setText(QStringLiteral("текст окна"));
            EXPECT_TRUE(NameOf(w).contains(label->text().remove(QLatin1Char('&'))))
                << w->objectName().toStdString() << " is read as " << NameOf(w).toStdString();
        } else if ((w->focusPolicy() & Qt::TabFocus) && !part) {
            EXPECT_FALSE(NameOf(w).isEmpty()) << w->objectName().toStdString() << " has no name";
        }
    }
}

class WindowTextsTest : public AppFixture {};

TEST_F(WindowTextsTest, EveryWindowNamesItsControlsAndLetsItsLabelsBeRead) {
    start();
    form->showImitPanel(3);
    qputenv("RMZ47_MONITOR_SETTINGS", dir.filePath(QStringLiteral("monitor.ini")).toLocal8Bit());
    TParamsRSForm linkForm;
    linkForm.PortGroup()->setItemIndex(1);
    SystemDeviceSource devices;
    linkForm.setDevices(devices, {{1, QStringLiteral("/dev/rmz47-absent")}});
    monitor::LineMonitor lineMonitor(program->link.timeSource());
    lineMonitor.attach(program->link);
    TMonitorForm monitor(program->link, lineMonitor);
    monitor.open();
    lineMonitor.job(monitor::JobKind::Configure, true);
    monitor.showProgress(QStringLiteral("Чтение таблицы 0, попытка 1 из 5"));
    program->link.tap().record(LineEventKind::Echo, LineDirection::In, 4); // a diagnosis line
    program->link.tap().deliver();
    monitor.monitor().flush();
    WizardForms wizard;
    TCfgForm cfgForm(program->cfg, wizard);
    TPodborForm1 step1;
    TPodborForm2 step2;
    TImitForm imitForm(program->imit);
    JournalWindow journal(dir.filePath(QStringLiteral("journal.jsonl")));
    journal.reload();
    CheckWindow check(*form, program->stopControl);
    check.showCheckWait(QStringLiteral("Подождите 4 с: контроллер выдает импульсы."), 4);
    for (QWidget* w : QList<QWidget*>{form.get(), &linkForm, &cfgForm, &step1, &step2, &imitForm, &monitor,
                                      &journal, &check}) {
        SCOPED_TRACE(w->metaObject()->className());
        ExpectReadable(w);
    }
}

// Yes and No of the tool's questions read "Да" and "Нет", without the translation they stay Qt's own.
TEST_F(WindowTextsTest, QtsButtonsSpeakRussianAndTheProgramRunsWithoutTheTranslation) {
    EXPECT_EQ(InstallQtRussian(qApp, dir.path()), nullptr);
    const std::unique_ptr<QTranslator> russian(InstallQtRussian(nullptr));
    ASSERT_NE(russian, nullptr) << "qtbase_ru.qm from qt6-translations-l10n";
    QMessageBox box(QMessageBox::Question, QStringLiteral("Сообщение"), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Да"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Нет"));
    EXPECT_EQ(TParamsRSForm().findChild<QPushButton*>(QStringLiteral("BitBtn2"))->text(),
              QStringLiteral("Cancel"));
}

// Qt's file dialog would name a folder "Folder" and a text file "plain text document": no such column.
TEST_F(WindowTextsTest, FileDialogsShowNoEnglishTypeColumn) {
    QObject owner;
    HideFileDialogTypes(&owner);
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    QFileDialog dialog(nullptr, QStringLiteral("Сохранить"), dir.path(), QStringLiteral("Текст (*.txt)"));
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    const auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->header()->isSectionHidden(2));
    EXPECT_FALSE(view->header()->isSectionHidden(0));
}

} // namespace
