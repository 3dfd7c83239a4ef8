#pragma once
// Numbers as the operator sees and types them: the locale's decimal separator (QLocale(), settable in
// tests with QLocale::setDefault), no group separators.
#include <QDateTime>
#include <QString>

#include <string_view>

// Fixed-point text with exactly `decimals` decimals after rounding to at most 7 significant digits;
// a value whose integer part needs more than 7 digits comes out in exponent notation.
QString FormatNumber(double value, int decimals);
// The same text in ASCII with '.' in the separator's place: returns its length, at most kNumberAsciiMax.
constexpr int kNumberAsciiMax = 48;
int FormatNumberAscii(double value, int decimals, char* out);
// For a caller that formats often, with the separator it looked up once (DecimalSeparator): `caption`
// followed by `ascii` with each '.' replaced by `separator`, or by `value` as FormatNumber shows it. Both
// write over `out`, in its own storage when nobody shares it and it is large enough.
void WithCaption(QString& out, QStringView caption, std::string_view ascii, QStringView separator);
void WithNumber(QString& out, QStringView caption, double value, int decimals, QStringView separator);
QString DecimalSeparator();

// The noun's form that agrees with a count in Russian: `one` after 1, 21, 101 ("1 байт"), `few` after
// 2 to 4, 22 to 24 ("24 байта"), `many` after the rest, 11 to 14 among them ("12 байт").
QString RussianPlural(qint64 n, QStringView one, QStringView few, QStringView many);

// A moment as the operator's clock shows it ("07.12.2026 21:39:33"), for people rather than files.
QString LocalMomentText(const QDateTime& time);
// A moment with its offset from UTC ("2026-12-07T15:04:05+03:00"), so that a file read elsewhere says when.
QString MomentText(const QDateTime& time);

// Replaces every '.' and ',' by the locale's decimal separator; nothing else is touched.
QString NormalizeDecimalSeparator(const QString& text);

// Parses blanks, an optional sign, digits with at most one locale decimal separator, an optional
// exponent, blanks. Anything else (the empty text, "nan", "inf", hex, group separators) throws
// UserError("'<text>' is not a valid floating point value").
double ParseNumber(const QString& text);
// The same without throwing.
bool TryParseNumber(const QString& text, double* value);
