#pragma once
// Numbers as the operator sees and types them: the locale's decimal separator (QLocale(), settable in
// tests with QLocale::setDefault), no group separators.
#include <QString>

// Fixed-point text with exactly `decimals` decimals after rounding to at most 7 significant digits;
// a value whose integer part needs more than 7 digits comes out in exponent notation.
QString FormatNumber(double value, int decimals);
// The same text appended to `out`, with the separator given: for a caller that formats often and looks
// the locale's separator up once (DecimalSeparator).
void AppendNumber(QString& out, double value, int decimals, QStringView separator);
QString DecimalSeparator();

// Replaces every '.' and ',' by the locale's decimal separator; nothing else is touched.
QString NormalizeDecimalSeparator(const QString& text);

// Parses blanks, an optional sign, digits with at most one locale decimal separator, an optional
// exponent, blanks. Anything else (the empty text, "nan", "inf", hex, group separators) throws
// UserError("'<text>' is not a valid floating point value").
double ParseNumber(const QString& text);
// The same without throwing.
bool TryParseNumber(const QString& text, double* value);
