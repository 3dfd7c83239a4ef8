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

class WindowTextsTest : public AppFixture {};

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
