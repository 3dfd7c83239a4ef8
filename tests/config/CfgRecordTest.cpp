// Configuration record image and the conversions between record and form values, with every check.
#include "CfgRecord.h"
#include "LocaleScope.h"
#include "UserError.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

CfgFormValues ValidForm() {
    CfgFormValues f;
    f.flIndex = 0;
    f.v = "100";
    f.nag = "0,1";
    f.pause = "0,1";
    f.period = "3";
    f.answer = "5";
    f.speedIndex = {1, 1, 1};
    return f;
}

QString ErrorOf(CfgContext& cfg, CfgFormValues& f) {
    try {
        FormToRecordChecked(cfg, f);
    } catch (const UserError& e) {
        return e.message();
    }
    return {};
}

const QString kVZero = QStringLiteral("Значение цены импульса должно быть больше нуля! ");
const QString kVRange = QStringLiteral("Значение цены импульса выходит за допустимые диапазоны! ");
const QString kNag = QStringLiteral("Значение длительности импульса должно быть от 0,1 до 2 секунд!");
const QString kPause = QStringLiteral("Значение длительности паузы должно быть от 0,1 до 1 секунды!");
const QString kPeriod = QStringLiteral("Значение периода опроса должно быть от 1 до 10 секунд!");
const QString kAnswer = QStringLiteral("Время ожидания ответа должно быть от 5 до 20 секунд!");

} // namespace

TEST(CfgRecordImage, DefaultsEncodeLittleEndianUnaligned) {
    const std::array<quint8, 23> expected{0x01, 0x0A, 0x0A, 0x2C, 0x01, // FlCount Nag Pause Period
                                          0x00, 0x00, 0xC8, 0x42,       // V = 100.0f
                                          0x64, 0x00,                   // Answer 100
                                          0x01, 0x01, 0x02, 0x02, 0x01, 0x02, 0x03, 0x01, 0x02, // runs
                                          0x51, 0x01, 0x01};                                    // Flags
    EXPECT_EQ(CfgRecord{}.encode(), expected);
}

TEST(CfgRecordImage, DecodeReadsEveryFieldAndKeepsTheTailOfAShortImage) {
    CfgRecord r;
    r.FlCount = 3;
    r.Nag = 200;
    r.Pause = 55;
    r.Period = 0xBEEF;
    r.V = 0.375f;
    r.Answer = 0x1234;
    r.Addr = {7, 8, 9};
    r.Nitka = {4, 5, 6};
    r.Speed = {18, 1, 11};
    r.Flags = {0xA0, 0, 1};
    CfgRecord back;
    const auto img = r.encode();
    back.decode(img.data(), 23);
    EXPECT_EQ(back, r);

    // A 21-byte table 4 (versions 0 and 1) leaves the run-2 and run-3 flags at their defaults.
    CfgRecord shortRead;
    shortRead.decode(img.data(), 21);
    EXPECT_EQ(shortRead.Flags[0], 0xA0);
    EXPECT_EQ(shortRead.Flags[1], 1);
    EXPECT_EQ(shortRead.Flags[2], 1);
    EXPECT_EQ(shortRead.V, 0.375f);
}

TEST(RecordToFormTest, DefaultsShowWithTheLocaleSeparator) {
    CfgContext cfg;
    CfgFormValues f;
    RecordToForm(cfg, f);
    EXPECT_EQ(f.flIndex, 0);
    EXPECT_EQ(f.period, "3,000");
    EXPECT_EQ(f.answer, "1,000");
    EXPECT_EQ(f.v, "100,000");
    EXPECT_EQ(f.nag, "0,100");
    EXPECT_EQ(f.pause, "0,100");
    EXPECT_EQ(f.addr, (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(f.speedIndex, (std::array<int, 3>{1, 1, 1}));
    EXPECT_FALSE(f.triesVisible);

    LocaleScope c(QLocale::c());
    RecordToForm(cfg, f);
    EXPECT_EQ(f.period, "3.000");
}

TEST(RecordToFormTest, OutOfRangeRunCountShowsOneRunAndWritesTheNewChoice) {
    for (quint8 bad : {quint8(0), quint8(7)}) {
        CfgContext cfg;
        cfg.record.FlCount = bad;
        CfgFormValues f;
        RecordToForm(cfg, f);
        EXPECT_EQ(f.flIndex, 0);
        EXPECT_EQ(cfg.record.FlCount, 1);
        f.flIndex = 2;
        FormToRecordRest(cfg, f);
        EXPECT_EQ(cfg.record.FlCount, 3);
    }
}

TEST(RecordToFormTest, UnknownSpeedCodeAndZeroAddressShowTheirFallbacks) {
    CfgContext cfg;
    cfg.record.Speed = {5, 18, 1};
    cfg.record.Addr = {0, 255, 9};
    cfg.record.Nitka = {0, 3, 1};
    CfgFormValues f;
    RecordToForm(cfg, f);
    EXPECT_EQ(f.speedIndex, (std::array<int, 3>{1, 10, 0}));
    EXPECT_EQ(f.addr, (std::array<int, 3>{1, 255, 9}));
    EXPECT_EQ(f.nitka, (std::array<int, 3>{1, 3, 1}));
    FormToRecordRest(cfg, f);
    EXPECT_EQ(cfg.record.Speed, (std::array<quint8, 3>{2, 18, 1}));
    EXPECT_EQ(cfg.record.Addr, (std::array<quint8, 3>{1, 255, 9}));
}

TEST(FlagsByVersion, ByteOrderAndAttemptsRoundTrip) {
    struct Row {
        quint8 version;
        std::array<quint8, 3> flagsIn;
        std::array<int, 3> orderShown;
        bool triesVisible;
        int triesShown;
        std::array<quint8, 3> flagsOut; // written back unchanged
    };
    const Row rows[] = {
        {3, {0x51, 1, 1}, {0, 0, 0}, true, 5, {0x51, 1, 1}},
        {2, {0x51, 1, 1}, {0, 0, 0}, false, -1, {0x01, 1, 1}},
        {2, {0x50, 0, 1}, {1, 1, 0}, false, -1, {0x00, 0, 1}},
        {3, {0x0E, 0, 0}, {1, 1, 1}, true, 2, {0x20, 0, 0}},  // attempts 0 shows and writes as 2
        {3, {0xF1, 1, 1}, {0, 0, 0}, true, 10, {0xA1, 1, 1}}, // 15 as 10
        {1, {0x50, 0, 0}, {0, 0, 0}, false, -1, {1, 1, 1}},   // no byte order before version 2
    };
    for (const Row& row : rows) {
        CfgContext cfg;
        cfg.SoftVersion = row.version;
        cfg.record.Flags = row.flagsIn;
        CfgFormValues f;
        RecordToForm(cfg, f);
        EXPECT_EQ(f.byteOrder, row.orderShown) << int(row.version);
        EXPECT_EQ(f.triesVisible, row.triesVisible);
        if (row.triesShown >= 0) {
            EXPECT_EQ(f.tries, row.triesShown);
        }
        FormToRecordRest(cfg, f);
        EXPECT_EQ(cfg.record.Flags, row.flagsOut) << int(row.version);
    }
}

TEST(FlagsByVersion, DirectRunTwoWritesZero) {
    CfgContext cfg;
    cfg.SoftVersion = 2;
    CfgFormValues f;
    RecordToForm(cfg, f);
    f.byteOrder[1] = 1;
    FormToRecordRest(cfg, f);
    EXPECT_EQ(cfg.record.Flags, (std::array<quint8, 3>{1, 0, 1}));
}

TEST(FormToRecord, TimesRoundToHundredths) {
    struct Row {
        const char* text;
        int stored;
    };
    // 0,29 * 100 is 28.999... in double: the rounding, not a cut, keeps it 29.
    const Row rows[] = {{"0,1", 10}, {"0,3", 30},   {"0,15", 15},  {"0.29", 29},
                        {"2", 200},  {"0,154", 15}, {"0,156", 16}, {" 1,99 ", 199}};
    for (const Row& row : rows) {
        CfgContext cfg;
        CfgFormValues f = ValidForm();
        f.nag = row.text;
        FormToRecordChecked(cfg, f);
        EXPECT_EQ(cfg.record.Nag, row.stored) << row.text;
    }
    CfgContext cfg;
    CfgFormValues f = ValidForm();
    f.period = "9,99";
    f.answer = "20";
    FormToRecordChecked(cfg, f);
    EXPECT_EQ(cfg.record.Period, 999);
    EXPECT_EQ(cfg.record.Answer, 2000);
    // Written back it shows as typed.
    f.pause = "0,3";
    FormToRecordChecked(cfg, f);
    CfgFormValues shown;
    RecordToForm(cfg, shown);
    EXPECT_EQ(shown.pause, "0,300");
}

TEST(FormToRecord, EitherSeparatorIsNormalisedInTheForm) {
    for (const QLocale& locale : {QLocale(QLocale::Russian, QLocale::Russia), QLocale::c()}) {
        LocaleScope g(locale);
        const QString sep = locale.decimalPoint();
        for (const char* typed : {"0.5", "0,5"}) {
            CfgContext cfg;
            CfgFormValues f = ValidForm();
            f.pause = typed;
            FormToRecordChecked(cfg, f);
            EXPECT_EQ(cfg.record.Pause, 50);
            EXPECT_EQ(f.pause, "0" + sep + "5");
        }
    }
}

// Every check at its bounds, in the Russian and the C locale; the text is typed with the other locale's
// separator half of the time, which the normalisation must absorb.
TEST(FormToRecord, EveryCheckAtItsBoundsInBothLocales) {
    struct Row {
        QString CfgFormValues::*field;
        const char* text;
        QString message; // empty: accepted
    };
    const Row rows[] = {
        {&CfgFormValues::v, "0", kVZero},
        {&CfgFormValues::v, "-1", kVZero},
        {&CfgFormValues::v, "1e-50", kVZero}, // 0 in single precision
        {&CfgFormValues::v, "-1e39", kVZero},
        {&CfgFormValues::v, "1e39", kVRange}, // infinite in single precision
        {&CfgFormValues::v, "3,4e38", {}},
        {&CfgFormValues::v, "1e-40", {}}, // subnormal, still above 0
        {&CfgFormValues::nag, "0,1", {}},
        {&CfgFormValues::nag, "2", {}},
        {&CfgFormValues::nag, "0,09", kNag},
        {&CfgFormValues::nag, "2,001", kNag},
        {&CfgFormValues::pause, "0,1", {}},
        {&CfgFormValues::pause, "1", {}},
        {&CfgFormValues::pause, "0,0999", kPause},
        {&CfgFormValues::pause, "1,001", kPause},
        {&CfgFormValues::period, "1", {}},
        {&CfgFormValues::period, "10", {}},
        {&CfgFormValues::period, "0,999", kPeriod},
        {&CfgFormValues::period, "10,01", kPeriod},
        {&CfgFormValues::answer, "5", {}},
        {&CfgFormValues::answer, "20", {}},
        {&CfgFormValues::answer, "4,99", kAnswer},
        {&CfgFormValues::answer, "20,001", kAnswer},
        {&CfgFormValues::answer, "abc", "'abc' is not a valid floating point value"},
        {&CfgFormValues::nag, "", "'' is not a valid floating point value"},
    };
    for (const QLocale& locale : {QLocale(QLocale::Russian, QLocale::Russia), QLocale::c()}) {
        LocaleScope g(locale);
        for (const Row& row : rows) {
            for (bool swapSeparator : {false, true}) {
                CfgContext cfg;
                CfgFormValues f = ValidForm();
                QString text = QString::fromUtf8(row.text);
                if (swapSeparator)
                    text.replace(',', '.');
                f.*row.field = text;
                EXPECT_EQ(ErrorOf(cfg, f), row.message) << row.text << " in " << locale.name().toStdString();
            }
        }
    }
}

TEST(FormToRecord, ChecksRunInOrderAndStopAtTheFirstFailure) {
    CfgContext cfg;
    CfgFormValues f = ValidForm();
    f.v = "0";
    f.nag = "9";
    f.answer = "1.0";
    EXPECT_EQ(ErrorOf(cfg, f), kVZero);
    f.v = "5";
    EXPECT_EQ(ErrorOf(cfg, f), kNag);
    EXPECT_EQ(cfg.record.V, 5.0f) << "the checks before the failing one stored their values";
    EXPECT_EQ(f.answer, "1.0") << "texts after the failing check are not touched";
    f.nag = "1";
    EXPECT_EQ(ErrorOf(cfg, f), kAnswer);
    EXPECT_EQ(f.answer, "1,0");
}

TEST(FormToRecord, WizardRangeIsInclusiveInSinglePrecision) {
    CfgContext cfg;
    cfg.VRangeSet = true;
    cfg.VLow = 0.1f; // not exactly one tenth: the typed 0,1 must still match it
    cfg.VHigh = 2.7f;
    struct Row {
        const char* text;
        bool ok;
    };
    const Row rows[] = {{"0,1", true},
                        {"2,7", true},
                        {"0,0999999", false},
                        {"2,7000003", false},
                        {"2,70000001", true} /* rounds to 2.7f */};
    for (const Row& row : rows) {
        CfgFormValues f = ValidForm();
        f.v = row.text;
        EXPECT_EQ(ErrorOf(cfg, f), row.ok ? QString() : kVRange) << row.text;
    }
    // Without the range any positive value goes.
    cfg.VRangeSet = false;
    CfgFormValues f = ValidForm();
    f.v = "1000";
    EXPECT_EQ(ErrorOf(cfg, f), QString());
    EXPECT_EQ(cfg.record.V, 1000.0f);
}

TEST(FormToRecord, NonFiniteVolumeNeverReachesTheRecord) {
    CfgContext cfg;
    CfgFormValues f = ValidForm();
    f.v = "1e39";
    EXPECT_EQ(ErrorOf(cfg, f), kVRange);
    EXPECT_EQ(cfg.record.V, 100.0f);
    // Just below the overflow threshold rounds to the largest float and is accepted.
    f.v = "3,4028235e38";
    EXPECT_EQ(ErrorOf(cfg, f), QString());
    EXPECT_EQ(cfg.record.V, std::numeric_limits<float>::max());
}
