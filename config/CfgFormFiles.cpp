// The configuration form's file buttons: "Сохранить в файл…" and "Загрузить из файла…".
#include "CfgForm.h"

#include "CfgFile.h"
#include "FileReplace.h"
#include "UiCommon.h"
#include "UserError.h"
#include "ui_Cfgunit.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace {

const QString kFilter = QStringLiteral("Конфигурация RMZ-47 (*.json);;Все файлы (*)");

void Refuse(QWidget* parent, const QString& text) {
    ShowMessage(parent, text, QStringLiteral("Сообщение"), QMessageBox::Warning);
}

bool AskYes(QWidget* parent, const QString& text) {
    return AskYesNo(parent, QStringLiteral("Сообщение"), text);
}

} // namespace

void TCfgForm::connectFileButtons() {
    connect(ui->SaveFileButton, &QPushButton::clicked, this, [this] {
        QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить конфигурацию в файл"),
                                                    QString(), kFilter);
        if (path.isEmpty())
            return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".json");
        saveToFile(path);
    });
    connect(ui->LoadFileButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Загрузить конфигурацию из файла"), QString(), kFilter);
        if (!path.isEmpty())
            loadFromFile(path);
    });
}

bool TCfgForm::saveToFile(const QString& path) {
    CfgFormValues v = values();
    QByteArray bytes;
    try {
        bytes = CheckedCfgFileBytes(cfg_, v, QDateTime::currentDateTime());
    } catch (const UserError& e) {
        setEditTexts(v);
        ShowExceptionBox(this, e.message());
        return false;
    }
    setEditTexts(v);
    QString error;
    if (WriteWholeFile(path, bytes, &error))
        return true;
    // Told while the form is open: the operator asked for this file and would leave believing it saved.
    ShowMessage(this,
                QStringLiteral("Не удалось сохранить конфигурацию в файл ") + path + QStringLiteral(": ") +
                    error,
                QStringLiteral("Ошибка!"), QMessageBox::Warning);
    return false;
}

bool TCfgForm::loadFromFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const CfgFileRead read = LoadCfgFile(path, cfg_.SoftVersion);
    if (read.outcome != CfgFileRead::Outcome::Loaded) {
        Refuse(this, read.message);
        return false;
    }
    if (read.softVersion != cfg_.SoftVersion &&
        !AskYes(this, OtherVersionQuestion(name, read.softVersion, cfg_.SoftVersion)))
        return false;
    setValues(ApplyFileFields(values(), read, cfg_.SoftVersion));
    FlRadioGroupClick();
    return true;
}
