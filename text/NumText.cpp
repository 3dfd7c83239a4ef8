#include "NumText.h"

#include "UserError.h"

#include <QLocale>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The correctly rounded 7-digit decimal mantissa of |value| and the power of ten of its first digit.
struct Mantissa {
    char digits[7];
    int exponent;
};

#ifdef __SIZEOF_INT128__
// Most of the run's volumes and flows lie between 0.001 and 10^7. There the digits come from one exact
// 128-bit product, rounded half to even as the library does, without the library's conversion tables:
// the imitation formats a volume before every answer, when the tables are out of the cache.
std::optional<Mantissa> SevenDigitsInRange(double magnitude) {
    if (!(magnitude >= 1e-3 && magnitude < 1e7))
        return std::nullopt;
    // magnitude = m / 2^shift exactly, with shift from 29 to 62 in this range.
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const std::uint64_t m = (bits & ((std::uint64_t(1) << 52) - 1)) | (std::uint64_t(1) << 52);
    const int shift = 1075 - int(bits >> 52);
    static constexpr double kTens[] = {1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
    int first = -3; // power of ten of the first digit, estimated; the integer check below settles it
    for (const double ten : kTens)
        first += magnitude >= ten ? 1 : 0;
    static constexpr std::uint64_t kPow10[] = {1,       10,       100,       1000,       10000,      100000,
                                               1000000, 10000000, 100000000, 1000000000, 10000000000};
    for (;;) {
        const int k = 6 - first; // magnitude * 10^k has 7 integer digits
        if (k < 0 || k > 10)
            return std::nullopt;
        const unsigned __int128 product = (unsigned __int128)m * kPow10[k];
        std::uint64_t q = std::uint64_t(product >> shift);
        if (q >= kPow10[7]) {
            ++first;
            continue;
        }
        if (q < kPow10[6]) {
            --first;
            continue;
        }
        const unsigned __int128 rest = product & ((((unsigned __int128)1) << shift) - 1);
        const unsigned __int128 half = ((unsigned __int128)1) << (shift - 1);
        if (rest > half || (rest == half && (q & 1) != 0))
            ++q;
        Mantissa out{};
        out.exponent = first;
        if (q == kPow10[7]) {
            q = kPow10[6];
            ++out.exponent;
        }
        for (int i = 6; i >= 0; --i, q /= 10)
            out.digits[i] = char('0' + q % 10);
        return out;
    }
}
#endif

Mantissa SevenDigits(double magnitude) {
#ifdef __SIZEOF_INT128__
    if (const std::optional<Mantissa> m = SevenDigitsInRange(magnitude))
        return *m;
#endif
    char e[32];
    // "d.dddddde±x", as printf's %.6e.
    const auto end = std::to_chars(e, e + sizeof e, magnitude, std::chars_format::scientific, 6).ptr;
    Mantissa m{};
    m.digits[0] = e[0];
    std::copy(e + 2, e + 8, m.digits + 1);
    std::from_chars(e[9] == '+' ? e + 10 : e + 9, end, m.exponent);
    return m;
}

char* Put(char* p, std::string_view text) {
    return std::copy(text.begin(), text.end(), p);
}

// More than 7 integer digits cannot be shown exactly with 7 significant digits: "d.dddddd" and "E+x".
char* PutExponentForm(char* p, const Mantissa& m, bool negative) {
    int last = 6;
    while (last > 0 && m.digits[last] == '0')
        --last;
    if (negative)
        *p++ = '-';
    *p++ = m.digits[0];
    if (last > 0) {
        *p++ = '.';
        p = Put(p, std::string_view(m.digits + 1, std::size_t(last)));
    }
    p = Put(p, "E+");
    return std::to_chars(p, p + 8, m.exponent).ptr;
}

// value = M * 10^(exponent - 6) with the 7-digit integer M; scaled to `decimals` decimals with half-up
// rounding on those decimal digits. At most 7 + 18 digits, plus padding to decimals + 1.
char* PutFixedForm(char* p, const Mantissa& m, bool negative, int decimals) {
    char digits[32];
    int n = 0;
    const int k = m.exponent - 6 + decimals;
    if (k >= 0) {
        n = int(std::copy(m.digits, m.digits + 7, digits) - digits);
        n = int(std::fill_n(digits + n, k, '0') - digits);
    } else if (-k > 7) {
        digits[n++] = '0';
    } else {
        qint64 mant = 0;
        std::from_chars(m.digits, m.digits + 7, mant);
        qint64 scale = 1;
        for (int i = 0; i < -k; ++i)
            scale *= 10;
        n = int(std::to_chars(digits, digits + sizeof digits, (mant + scale / 2) / scale).ptr - digits);
    }
    int first = 0;
    while (n - first > 1 && digits[first] == '0')
        ++first;
    const bool zero = n - first == 1 && digits[first] == '0';
    char padded[48];
    const int pad = qMax(0, decimals + 1 - (n - first));
    std::fill_n(padded, pad, '0');
    std::copy(digits + first, digits + n, padded + pad);
    const int whole = pad + n - first - decimals;

    if (negative && !zero)
        *p++ = '-';
    p = Put(p, std::string_view(padded, std::size_t(whole)));
    if (decimals > 0) {
        *p++ = '.';
        p = Put(p, std::string_view(padded + whole, std::size_t(decimals)));
    }
    return p;
}

} // namespace

QString DecimalSeparator() {
    return QLocale().decimalPoint();
}

QString RussianPlural(qint64 n, QStringView one, QStringView few, QStringView many) {
    const qint64 tens = (n < 0 ? -(n % 100) : n % 100);
    const qint64 units = tens % 10;
    if (tens >= 11 && tens <= 14)
        return many.toString();
    if (units == 1)
        return one.toString();
    return (units >= 2 && units <= 4 ? few : many).toString();
}

QString FormatNumber(double value, int decimals) {
    QString out;
    WithNumber(out, {}, value, decimals, DecimalSeparator());
    return out;
}

void WithCaption(QString& out, QStringView caption, std::string_view ascii, QStringView separator) {
    const auto dots = qsizetype(std::count(ascii.begin(), ascii.end(), '.'));
    out.resize(caption.size() + qsizetype(ascii.size()) + dots * (separator.size() - 1));
    QChar* p = std::copy(caption.begin(), caption.end(), out.data());
    for (const char c : ascii)
        p = c == '.' ? std::copy(separator.begin(), separator.end(), p) : (*p = QLatin1Char(c), p + 1);
}

void WithNumber(QString& out, QStringView caption, double value, int decimals, QStringView separator) {
    char ascii[kNumberAsciiMax];
    const int n = FormatNumberAscii(value, decimals, ascii);
    WithCaption(out, caption, std::string_view(ascii, std::size_t(n)), separator);
}

// Called before every answer of the imitation is sent: the digits are made in stack buffers, no string
// is allocated.
int FormatNumberAscii(double value, int decimals, char* out) {
    char* p = out;
    if (std::isnan(value)) {
        p = Put(p, "NAN");
    } else if (std::isinf(value)) {
        p = Put(p, value < 0 ? "-INF" : "INF");
    } else {
        const Mantissa m = SevenDigits(std::fabs(value));
        const bool negative = std::signbit(value);
        p = m.exponent + 1 > 7 ? PutExponentForm(p, m, negative)
                               : PutFixedForm(p, m, negative, qBound(0, decimals, 18));
    }
    return int(p - out);
}

QString NormalizeDecimalSeparator(const QString& text) {
    const QString sep = DecimalSeparator();
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
    if (!NumberScanner(text, DecimalSeparator()).scan(n) || !ConvertScanned(n, &v))
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

QString LocalMomentText(const QDateTime& time) {
    return time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString MomentText(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}
