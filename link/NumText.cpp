#include "NumText.h"

#include "UserError.h"

#include <QLocale>
#include <charconv>
#include <cmath>
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

bool TryParseNumber(const QString& text, double* value) {
    const QString sep = decimalSeparator();
    qsizetype i = 0, end = text.size();
    while (i < end && text[i].isSpace())
        ++i;
    while (end > i && text[end - 1].isSpace())
        --end;

    // Rebuilt in the C form ("-12.5e3") for a conversion that does not depend on any locale.
    std::string c;
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
        c += char(text[i++].unicode());
    int intDigits = 0, fracDigits = 0;
    // Power of ten of the leading non-zero digit, for telling overflow from underflow (it is negative
    // for a number below 1, so whether there is such a digit at all is kept apart).
    int firstNonZero = 0;
    bool anyNonZero = false;
    while (i < end && text[i] >= u'0' && text[i] <= u'9') {
        c += char(text[i].unicode());
        ++intDigits;
        ++i;
    }
    if (i < end && text.mid(i, sep.size()) == sep) {
        i += sep.size();
        c += '.';
        while (i < end && text[i] >= u'0' && text[i] <= u'9') {
            c += char(text[i].unicode());
            ++fracDigits;
            ++i;
        }
    }
    if (intDigits + fracDigits == 0)
        return false;
    {
        int pos = 0;
        for (char ch : c) {
            if (ch < '0' || ch > '9')
                continue;
            if (ch != '0') {
                firstNonZero = intDigits - 1 - pos;
                anyNonZero = true;
                break;
            }
            ++pos;
        }
    }
    long long exp10 = 0;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        c += 'e';
        bool expNegative = false;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) {
            expNegative = text[i] == u'-';
            c += char(text[i++].unicode());
        }
        int expDigits = 0;
        while (i < end && text[i] >= u'0' && text[i] <= u'9') {
            c += char(text[i].unicode());
            // Far beyond any double even after as many leading zeros as a text can hold; stops the
            // accumulator from overflowing.
            if (exp10 < 100000000000LL)
                exp10 = exp10 * 10 + (text[i].unicode() - u'0');
            ++expDigits;
            ++i;
        }
        if (expDigits == 0)
            return false;
        if (expNegative)
            exp10 = -exp10;
    }
    if (i != end)
        return false;

    double v = 0;
    const char* first = c.data();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    const auto [ptr, ec] = std::from_chars(first, c.data() + c.size(), v);
    if (ptr != c.data() + c.size())
        return false;
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent reads as zero; too large to represent is no number.
        if (anyNonZero && firstNonZero + exp10 >= 0)
            return false;
        v = c[0] == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc()) {
        return false;
    }
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
