// Configurations in files: the round trip through the form for every software version and the files
// refused with the form left as it was.
#include "CfgFile.h"
#include "CfgForm.h"
#include "Cfgunit.h"
#include "ConfigureTestDriver.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// The form as the configure job shows it for a configured controller of `version`.
struct FormOnVersion {
    explicit FormOnVersion(quint8 version) {
        cfg.SoftVersion = version;
        cfg.CfgState = 1;
        CfgFormValues v;
        RecordToForm(cfg, v);
        form.setValues(v);
        form.FlRadioGroupClick();
        form.VEdit()->setEnabled(false);
    }
    // The record "Записать" would take from the form now.
    CfgRecord record() {
        CfgContext c = cfg;
        CfgFormValues v = form.values();
        FormToRecordChecked(c, v);
        FormToRecordRest(c, v);
        return c.record;
    }
    CfgContext cfg;
    WizardForms wizard;
    TCfgForm form{cfg, wizard};
};

void EnterOtherValues(TCfgForm& f) {
    CfgFormValues v = f.values();
    v.flIndex = 2;
    v.tries = 7;
    std::tie(v.period, v.answer, v.v, v.nag, v.pause) =
        std::tuple(QStringLiteral("2.5"), QStringLiteral("9"), QStringLiteral("0,15"), QStringLiteral("0,2"),
                   QStringLiteral("0,35"));
    std::tie(v.addr, v.nitka, v.speedIndex, v.byteOrder) =
        std::tuple(std::array{7, 8, 250}, std::array{1, 2, 3}, std::array{10, 0, 7}, std::array{0, 1, 1});
    f.setValues(v);
}

QString Written(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    return path;
}

TEST(CfgFile, RoundTripThroughTheFormForEveryVersion) {
    QTemporaryDir dir;
    for (quint8 version = 0; version <= 4; ++version) {
        SCOPED_TRACE(version);
        FormOnVersion saved(version);
        EnterOtherValues(saved.form);
        ASSERT_TRUE(saved.form.saveToFile(dir.filePath(QStringLiteral("cfg.json"))));
        FormOnVersion loaded(version);
        ASSERT_TRUE(loaded.form.loadFromFile(dir.filePath(QStringLiteral("cfg.json"))));
        EXPECT_EQ(loaded.record(), saved.record());
        EXPECT_EQ(loaded.form.VEdit()->text(), QStringLiteral("0,150"));
        EXPECT_FALSE(loaded.form.VEdit()->isEnabled()); // the wizard's state is not the file's
        EXPECT_EQ(loaded.cfg.record, CfgRecord{});      // nothing taken into the job's record
    }
}

QByteArray SavedFor(quint8 version) {
    CfgRecord r;
    r.Answer = 700;
    return CfgFileBytes(r, version, QDateTime::currentDateTime());
}

struct RefusalRow {
    const char* what;
    QByteArray bytes;
    quint8 controller;
    const char* says;
};

TEST(CfgFile, RefusedFilesLeaveTheFormAsItWas) {
    QByteArray outOfRange = SavedFor(2);
    outOfRange.replace("\"value\": 0.1", "\"value\": 5");
    QByteArray litres = SavedFor(2);
    litres.replace("\"м3\"", "\"л\"");
    const RefusalRow rows[] = {
        {"21-byte layout for a 23-byte controller", SavedFor(1), 2,
         "версия ПО 2 (таблица 23 байта): загрузить ее нельзя"},
        {"23-byte layout for a 21-byte controller", SavedFor(3), 0,
         "записана для версии ПО 3 (таблица 23 байта)"},
        {"cut short", SavedFor(2).left(200), 2, "поврежден"},
        {"a value the form would refuse", outOfRange, 2,
         "не загружена (поле Nag: Значение длительности импульса должно быть от 0,1 до 2 секунд!)"},
        {"a volume in litres", litres, 2, "(поле V: единица «л», а значение этого поля задаётся в «м3».)"},
        {"a zero byte in the text", QByteArray("{\"format\": \0}", 13), 2,
         "поврежден (нулевой байт в тексте, позиция 11)"},
        {"a missing colon", "{\"format\" \"x\"}", 2, "поврежден (нет двоеточия после имени поля)"},
        {"text after the object", SavedFor(2) + "}", 2, "(лишние символы после конца документа)"},
        {"another program's JSON", "{\"name\": \"x\"}", 2, "не является файлом конфигурации"},
        {"not text at all", QByteArray("\x89PNG\r\n\x1a\n\0\0", 10), 2, "не является файлом конфигурации"},
    };
    QTemporaryDir dir;
    for (const RefusalRow& r : rows) {
        SCOPED_TRACE(r.what);
        FormOnVersion form(r.controller);
        EnterOtherValues(form.form);
        const CfgRecord before = form.record();
        ModalScript script;
        script.then(OkBox());
        EXPECT_FALSE(form.form.loadFromFile(Written(dir.filePath(QStringLiteral("in.json")), r.bytes)));
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_TRUE(script.boxes[0].text.contains(QString::fromUtf8(r.says)))
            << script.boxes[0].text.toStdString();
        EXPECT_EQ(form.record(), before);
    }
}

TEST(CfgFile, AnotherVersionOfTheSameLayoutIsLoadedOnlyWhenTheOperatorAgreesAndOnlyItsFields) {
    QTemporaryDir dir;
    const QString path = Written(dir.filePath(QStringLiteral("v2.json")), SavedFor(2));
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        FormOnVersion form(4);
        EnterOtherValues(form.form);
        ModalScript script;
        script.then([answer](QWidget* w) { static_cast<QMessageBox*>(w)->button(answer)->click(); });
        EXPECT_EQ(form.form.loadFromFile(path), answer == QMessageBox::Yes);
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_TRUE(
            script.boxes[0].text.contains(QStringLiteral("версии ПО 2, а у контроллера версия ПО 4")));
        EXPECT_EQ(form.form.PeriodEdit()->text(),
                  answer == QMessageBox::Yes ? QStringLiteral("3,000") : QStringLiteral("2.5"));
        // A version-2 file has no attempts: the form's stay, and the question says so.
        EXPECT_EQ(form.form.values().tries, 7);
        EXPECT_TRUE(script.boxes[0].text.endsWith(
            QStringLiteral("\nПоля «Максимальное количество попыток опроса Вычислителя» в файле нет: оно "
                           "останется как в форме.")));
    }
}

} // namespace
