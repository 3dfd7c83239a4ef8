// Arbitrary operator text (UTF-8, invalid sequences included) through the number reader and writer, in
// the Russian locale (decimal comma) and the C locale (decimal point).
//
// Input: a control byte first (bit 0: locale, bits 1..5: decimals for FormatNumber, 0..31 so that the
// clamp to 18 is crossed), then the text.
#include "FuzzSupport.h"
#include "NumText.h"
#include "UserError.h"

#include <QLocale>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The text the number reader accepted, rewritten for strtod in the C locale.
double viaStrtod(const QString& text, const QString& sep) {
    QString t = text.trimmed();
    t.replace(sep, QStringLiteral("."));
    const std::string s = t.toStdString();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    Require(end == s.c_str() + s.size()); // whatever was accepted is a C number
    return v;
}

// Reads the text in the current locale: the result of TryParseNumber, which ParseNumber agrees with.
bool readText(const QString& text, double& v) {
    v = 12345;
    const bool ok = TryParseNumber(text, &v);
    if (!ok)
        Require(v == 12345); // a refusal leaves the caller's value alone

    // ParseNumber agrees with TryParseNumber and reports a refusal with the text as typed.
    try {
        const double p = ParseNumber(text);
        Require(ok && same(p, v));
    } catch (const UserError& e) {
        Require(!ok);
        Require(e.message() == QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
    Require(TryParseNumber(text, nullptr) == ok);
    return ok;
}

// An accepted text: the C library's number, shown and read back, and the same in the other locale.
void checkAccepted(const QString& text, double v, int decimals, const QLocale& here, const QLocale& other) {
    const QString sep = here.decimalPoint();
    Require(std::isfinite(v));
    // The same number as the C library reads, except where the C library overflows and the reader
    // refuses, or underflows and the reader reads zero.
    const double c = viaStrtod(text, sep);
    if (errno != ERANGE)
        Require(same(c, v));
    else
        Require(std::fabs(c) <= DBL_MIN && (v == 0.0 || same(c, v)));

    // The number as shown reads back, close to the value: seven significant digits, `decimals`
    // decimals (at most 18).
    const QString shown = FormatNumber(v, decimals);
    double back = 0;
    Require(TryParseNumber(shown, &back));
    const double step = std::pow(10.0, -std::min(decimals, 18));
    Require(std::fabs(back - v) <= std::fabs(v) * 5.0000001e-7 + step * 0.5000001);
    // Nothing but digits, sign, the locale's separator and the exponent mark.
    for (QChar ch : shown)
        Require(ch.isDigit() || ch == u'-' || ch == u'+' || ch == u'E' || QString(ch) == sep);
    // What is shown again reads as shown.
    Require(FormatNumber(back, decimals) == shown);

    // The same text typed with the other locale's separator reads the same there.
    QString moved = text;
    moved.replace(sep, other.decimalPoint());
    QLocale::setDefault(other);
    double there = 0;
    Require(TryParseNumber(moved, &there) && same(there, v));
    QLocale::setDefault(here);
}

// Normalisation touches '.' and ',' only, leaves none of the other separator, is idempotent, and a
// text that read in either locale reads after it.
void checkNormalisation(const QString& text, bool ok, const QLocale& here, const QLocale& other) {
    const QString sep = here.decimalPoint();
    const QString norm = NormalizeDecimalSeparator(text);
    Require(norm.size() == text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'.' || text[i] == u',')
            Require(QString(norm[i]) == sep);
        else
            Require(norm[i] == text[i]);
    }
    Require(NormalizeDecimalSeparator(norm) == norm);
    QLocale::setDefault(other);
    const bool okOther = TryParseNumber(text, nullptr);
    QLocale::setDefault(here);
    if (ok || okOther)
        Require(TryParseNumber(norm, nullptr));
}

void checkText(const QString& text, int decimals, const QLocale& here, const QLocale& other) {
    QLocale::setDefault(here);
    double v = 0;
    const bool ok = readText(text, v);
    if (ok)
        checkAccepted(text, v, decimals, here, other);
    checkNormalisation(text, ok, here, other);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    static const QLocale c = QLocale::c();
    if (size == 0)
        return 0;
    const bool ru = data[0] & 1;
    const int decimals = (data[0] >> 1) & 31;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    checkText(text, decimals, ru ? russian : c, ru ? c : russian);

    // Any double the reader can produce, shown and read back: the text itself taken as the bits of one.
    if (size >= 9) {
        double v;
        std::memcpy(&v, data + 1, sizeof v);
        QLocale::setDefault(ru ? russian : c);
        const QString shown = FormatNumber(v, decimals);
        double back = 0;
        const bool ok = TryParseNumber(shown, &back);
        if (std::isfinite(v))
            Require(ok && std::isfinite(back));
        else
            Require(!ok); // "NAN", "INF" and "-INF" are shown but never read
    }
    return 0;
}
