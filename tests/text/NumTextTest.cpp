#include "NumText.h"
#include "LocaleScope.h"
#include "UserError.h"

#include <QLocale>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

struct FormatCase {
    double value;
    int decimals;
    const char* russian;
};

const FormatCase kFormatCases[] = {
    {1234.56789, 3, "1234,568"},
    {0.0, 3, "0,000"},
    {-0.0001, 3, "0,000"},         // no "-0,000"
    {123456.789, 3, "123456,800"}, // 7 significant digits, then padded to 3 decimals
    {1234567.89, 1, "1234568,0"},
    {9999999.0, 0, "9999999"},
    {12345678.9, 3, "1,234568E+7"}, // 8 integer digits
    {1e15, 3, "1E+15"},
    {-12345678.0, 1, "-1,234568E+7"},
    {0.0005, 3, "0,001"},
    {-42.25, 1, "-42,3"},
    {0.1 + 0.2, 3, "0,300"},
    {99999.99999, 3, "100000,000"},
    {2.5, 0, "3"},
    {1.05, 1, "1,1"},
    {1.5e-7, 9, "0,000000150"},
    {123.456, 18, "123,456000000000000000"},
    {1e-20, 3, "0,000"},
    {9999999.5, 0, "1E+7"},    // rounds up into the eighth integer digit
    {1234567.5, 0, "1234568"}, // halves go to the even digit
    {1234566.5, 1, "1234566,0"},
    {0.00049999, 3, "0,000"},
};

TEST(NumText, FormatsWithSevenSignificantDigitsAndExactDecimals) {
    {
        LocaleScope ru(QLocale::Russian);
        for (const auto& c : kFormatCases)
            EXPECT_EQ(FormatNumber(c.value, c.decimals), QString::fromUtf8(c.russian)) << c.value;
    }
    {
        LocaleScope en(QLocale::C);
        for (const auto& c : kFormatCases) {
            const QString expected = QString::fromUtf8(c.russian).replace(u',', u'.');
            EXPECT_EQ(FormatNumber(c.value, c.decimals), expected) << c.value;
            // Behind a caption, with the separator given whatever the locale.
            QString shown;
            WithNumber(shown, u"V : ", c.value, c.decimals, u"<>");
            EXPECT_EQ(shown, QStringLiteral("V : ") +
                                 QString::fromUtf8(c.russian).replace(u',', QStringLiteral("<>")))
                << c.value;
        }
    }
}

TEST(NumText, ParsesTheLocaleSeparatorOnly) {
    struct Case {
        const char* text;
        double value;
    };
    const Case russian[] = {{"1,5", 1.5},      {" -2,25 ", -2.25}, {"+3", 3},    {"1e3", 1000},
                            {"1,5E-2", 0.015}, {",5", 0.5},        {"5,", 5},    {"007", 7},
                            {"1e-400", 0.0},   {"\t42\t", 42},     {"-0", -0.0}, {"1234,568", 1234.568}};
    LocaleScope ru(QLocale::Russian);
    for (const auto& c : russian) {
        double v = -1;
        EXPECT_TRUE(TryParseNumber(QString::fromUtf8(c.text), &v)) << c.text;
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
    LocaleScope en(QLocale::C);
    EXPECT_DOUBLE_EQ(ParseNumber(QStringLiteral("1.5")), 1.5);
    EXPECT_DOUBLE_EQ(ParseNumber(QStringLiteral("-1.5e+2")), -150);
}

TEST(NumText, RejectsWhatIsNotAPlainDecimalNumber) {
    const char* bothLocales[] = {"",           " ",     "nan",     "NaN",     "inf",   "-inf",   "Infinity",
                                 "0x10",       "1 000", "1,000.5", "1.000,5", "1,2,3", "1.2.3",  "e5",
                                 "1e",         "1e+",   "--1",     "+-1",     "1e999", "-1e999",
                                 "1\u00A0000", // 1, a no-break space, 000 (\u takes exactly four digits)
                                 "\xD9\xA1",   "1_000", "12a",     ",",       "-",     "1e5.0",  "1 e5"};
    for (auto lang : {QLocale::Russian, QLocale::C}) {
        LocaleScope scope(lang);
        for (const char* t : bothLocales)
            EXPECT_FALSE(TryParseNumber(QString::fromUtf8(t), nullptr)) << "'" << t << "' in " << int(lang);
    }
    {
        LocaleScope ru(QLocale::Russian);
        EXPECT_FALSE(TryParseNumber(QStringLiteral("1.5"), nullptr));
    }
    {
        LocaleScope en(QLocale::C);
        EXPECT_FALSE(TryParseNumber(QStringLiteral("1,5"), nullptr));
    }
}

// A number below 1 with a large exponent can still be too large for a double: it is refused like any
// other overflow, never read as zero.
TEST(NumText, OverflowOfAFractionIsRefusedAndUnderflowReadsZero) {
    const QString zeros400(400, u'0');
    struct Case {
        QString text; // with '.', written with the locale's separator below
        bool ok;
        double value;
    };
    const Case cases[] = {
        {QStringLiteral("0.5e309"), false, 0},
        {QStringLiteral("0.01e400"), false, 0},
        {QStringLiteral("-0.001e312"), false, 0},
        {QStringLiteral("0.") + zeros400 + QStringLiteral("1e800"), false, 0},
        {QStringLiteral("0.5e308"), true, 0.5e308},
        {QStringLiteral("0.") + zeros400 + QStringLiteral("1e700"), true, 1e299},
        {QStringLiteral("0.5e-400"), true, 0.0},
        {QStringLiteral("-10e-400"), true, -0.0},
    };
    for (auto lang : {QLocale::Russian, QLocale::C}) {
        LocaleScope scope(lang);
        for (const auto& c : cases) {
            const QString text = QString(c.text).replace(u'.', QLocale().decimalPoint());
            double v = 42;
            EXPECT_EQ(TryParseNumber(text, &v), c.ok) << text.left(20).toStdString();
            if (c.ok) {
                EXPECT_EQ(v, c.value) << text.left(20).toStdString();
                EXPECT_EQ(std::signbit(v), std::signbit(c.value)) << text.left(20).toStdString();
            }
        }
    }
}

TEST(NumText, ParseErrorCarriesTheTextAsTyped) {
    LocaleScope ru(QLocale::Russian);
    try {
        ParseNumber(QStringLiteral(" 1%1x"));
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("' 1%1x' is not a valid floating point value"));
    }
    try {
        ParseNumber(QString());
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'' is not a valid floating point value"));
    }
}

TEST(NumText, NormalizesBothSeparatorsToTheLocaleOne) {
    {
        LocaleScope ru(QLocale::Russian);
        EXPECT_EQ(NormalizeDecimalSeparator(QStringLiteral("1.2,3 a.")), QStringLiteral("1,2,3 a,"));
    }
    LocaleScope en(QLocale::C);
    EXPECT_EQ(NormalizeDecimalSeparator(QStringLiteral("1.2,3")), QStringLiteral("1.2.3"));
}

// The seven digits agree with the C library's exactly rounded "%.6e" over the range of volumes and flows:
// random doubles and floats, and the neighbours of each power of ten.
TEST(NumText, SevenDigitsAreRoundedAsTheCLibraryRoundsThem) {
    std::mt19937_64 rng(47);
    std::vector<double> values;
    for (int i = 0; i < 100000; ++i) {
        const double v = std::pow(10.0, std::uniform_real_distribution<double>(-3.0, 7.0)(rng));
        values.insert(values.end(), {v, double(float(v))});
    }
    for (double ten = 1e-2; ten < 1e7; ten *= 10)
        values.insert(values.end(), {std::nextafter(ten, 0.0), ten, std::nextafter(ten, 1e9)});
    for (const double v : values) {
        char e[32], text[kNumberAsciiMax];
        std::snprintf(e, sizeof e, "%.6e", v); // the power of ten of the first digit from e + 9
        std::string digits(text, std::size_t(FormatNumberAscii(v, 6 - std::atoi(e + 9), text)));
        std::erase(digits, '.');
        digits.erase(0, digits.find_first_not_of('0'));
        ASSERT_EQ(digits, std::string(1, e[0]) + std::string(e + 2, 6)) << e;
    }
}

TEST(NumText, ShownValuesReadBackInBothLocales) {
    for (auto lang : {QLocale::Russian, QLocale::C}) {
        LocaleScope scope(lang);
        for (double v : {0.0, 1.5, -2.125, 1234567.0, 0.001, 123.456, 98765432.0, 1e20}) {
            const QString shown = FormatNumber(v, 3);
            double back = 0;
            ASSERT_TRUE(TryParseNumber(shown, &back)) << shown.toStdString();
            EXPECT_NEAR(back, v, std::abs(v) * 1e-6 + 1e-3) << shown.toStdString();
        }
    }
}

TEST(NumText, RussianPluralAgreesWithTheCount) {
    const struct {
        qint64 n;
        const char* form;
    } rows[] = {{1, "ответ"},     {2, "ответа"},  {5, "ответов"}, {11, "ответов"},  {12, "ответов"},
                {14, "ответов"},  {21, "ответ"},  {22, "ответа"}, {25, "ответов"},  {111, "ответов"},
                {112, "ответов"}, {0, "ответов"}, {101, "ответ"}, {1004, "ответа"}, {-3, "ответа"}};
    for (const auto& r : rows)
        EXPECT_EQ(RussianPlural(r.n, u"ответ", u"ответа", u"ответов"), QString::fromUtf8(r.form)) << r.n;
}

} // namespace
