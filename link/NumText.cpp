#include "NumText.h"

#include "UserError.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace {

QString decimalSeparator() {
    return QLocale().decimalPoint();
}

} // namespace

QString FormatNumber(double value, int decimals) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    decimals = qBound(0, decimals, 18);
    const QString sep = decimalSeparator();

    // Seven significant digits first: "d.dddddde±x" holds the correctly rounded decimal mantissa.
    const QByteArray e = QByteArray::number(std::fabs(value), 'e', 6);
    const qsizetype ePos = e.indexOf('e');
    const QByteArray mantissa = e.left(1) + e.mid(2, ePos - 2); // 7 digits, no point
    const int exponent = e.mid(ePos + 1).toInt();
    const bool negative = std::signbit(value);

    if (exponent + 1 > 7) {
        // More than 7 integer digits cannot be shown exactly with 7 significant digits.
        QByteArray frac = mantissa.mid(1);
        while (frac.endsWith('0'))
            frac.chop(1);
        QString out = negative ? QStringLiteral("-") : QString();
        out += QChar(mantissa[0]);
        if (!frac.isEmpty())
            out += sep + QString::fromLatin1(frac);
        out += QStringLiteral("E+") + QString::number(exponent);
        return out;
    }

    // value = M * 10^(exponent - 6) with the 7-digit integer M; scale it to `decimals` decimals with
    // half-up rounding on those decimal digits.
    std::string digits;
    const int k = exponent - 6 + decimals;
    if (k >= 0) {
        digits = mantissa.toStdString() + std::string(std::size_t(k), '0');
    } else if (-k > 7) {
        digits = "0";
    } else {
        qint64 m = mantissa.toLongLong();
        qint64 p = 1;
        for (int i = 0; i < -k; ++i)
            p *= 10;
        m = (m + p / 2) / p;
        digits = std::to_string(m);
    }
    while (digits.size() > 1 && digits.front() == '0')
        digits.erase(0, 1);
    const bool zero = digits == "0";
    if (digits.size() < std::size_t(decimals) + 1)
        digits.insert(0, std::size_t(decimals) + 1 - digits.size(), '0');

    QString out = (negative && !zero) ? QStringLiteral("-") : QString();
    out += QString::fromStdString(digits.substr(0, digits.size() - std::size_t(decimals)));
    if (decimals > 0)
        out += sep + QString::fromStdString(digits.substr(digits.size() - std::size_t(decimals)));
    return out;
}

QString NormalizeDecimalSeparator(const QString& text) {
    const QString sep = decimalSeparator();
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'.' || c == u',')
            out += sep;
        else
            out += c;
    }
    return out;
}

namespace {

// A plain decimal number as the scanner found it, rebuilt in the C form ("-12.5e3") for a conversion that
// does not depend on any locale.
struct ScannedNumber {
    std::string c;
    // Power of ten of the leading non-zero digit, for telling overflow from underflow; none when every
    // digit is 0 (the power is negative for a number below 1, so it cannot mark that case itself).
    std::optional<int> leadingPower;
    long long exp10 = 0; // the written exponent, held far beyond any double's
};

// Reads blanks, an optional sign, digits with at most one decimal separator, an optional exponent and
// blanks, one part a step; a step that finds what it does not expect fails the whole text.
class NumberScanner {
public:
    NumberScanner(const QString& text, const QString& separator)
        : text_(text), sep_(separator), end_(text.size()) {}

    bool scan(ScannedNumber& out) {
        trimBlanks();
        sign(out.c);
        if (!mantissa(out) || !exponent(out))
            return false;
        return i_ == end_;
    }

private:
    void trimBlanks() {
        while (i_ < end_ && text_[i_].isSpace())
            ++i_;
        while (end_ > i_ && text_[end_ - 1].isSpace())
            --end_;
    }
    bool atDigit() const { return i_ < end_ && text_[i_] >= u'0' && text_[i_] <= u'9'; }
    bool sign(std::string& c) {
        if (i_ < end_ && (text_[i_] == u'+' || text_[i_] == u'-')) {
            c += char(text_[i_++].unicode());
            return true;
        }
        return false;
    }
    // Appends the run of digits at the position; returns how many there were.
    int digits(std::string& c) {
        int n = 0;
        for (; atDigit(); ++i_, ++n)
            c += char(text_[i_].unicode());
        return n;
    }
    // Digits, the locale's separator and digits; at least one digit in all (",5" and "5," are numbers).
    bool mantissa(ScannedNumber& out) {
        const std::size_t first = out.c.size();
        const int intDigits = digits(out.c);
        int fracDigits = 0;
        if (i_ < end_ && text_.mid(i_, sep_.size()) == sep_) {
            i_ += sep_.size();
            out.c += '.';
            fracDigits = digits(out.c);
        }
        if (intDigits + fracDigits == 0)
            return false;
        // The digit at position pos (from the first, the separator not counted) stands for
        // 10^(intDigits - 1 - pos).
        int pos = 0;
        for (std::size_t k = first; k < out.c.size() && !out.leadingPower; ++k) {
            if (out.c[k] == '.')
                continue;
            if (out.c[k] != '0')
                out.leadingPower = intDigits - 1 - pos;
            ++pos;
        }
        return true;
    }
    // "e" or "E", an optional sign and at least one digit; nothing at all is fine too.
    bool exponent(ScannedNumber& out) {
        if (!(i_ < end_ && (text_[i_] == u'e' || text_[i_] == u'E')))
            return true;
        ++i_;
        out.c += 'e';
        const bool negative = sign(out.c) && out.c.back() == '-';
        const std::size_t first = out.c.size();
        if (digits(out.c) == 0)
            return false;
        for (std::size_t k = first; k < out.c.size(); ++k) {
            // Far beyond any double even after as many leading zeros as a text can hold; stops the
            // accumulator from overflowing.
            if (out.exp10 < 100000000000LL)
                out.exp10 = out.exp10 * 10 + (out.c[k] - '0');
        }
        if (negative)
            out.exp10 = -out.exp10;
        return true;
    }

    const QString& text_;
    const QString sep_;
    qsizetype i_ = 0;
    qsizetype end_;
};

// The scanned number as a double: too small to represent reads as zero, too large is no number.
bool ConvertScanned(const ScannedNumber& n, double* value) {
    const char* first = n.c.data();
    const char* last = n.c.data() + n.c.size();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ptr != last)
        return false;
    if (ec == std::errc::result_out_of_range) {
        if (n.leadingPower && *n.leadingPower + n.exp10 >= 0)
            return false;
        v = n.c[0] == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc()) {
        return false;
    }
    *value = v;
    return true;
}

} // namespace

bool TryParseNumber(const QString& text, double* value) {
    ScannedNumber n;
    double v = 0;
    if (!NumberScanner(text, decimalSeparator()).scan(n) || !ConvertScanned(n, &v))
        return false;
    if (value)
        *value = v;
    return true;
}

double ParseNumber(const QString& text) {
    double v = 0;
    if (!TryParseNumber(text, &v))
        throw UserError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return v;
}
