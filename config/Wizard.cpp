#include "Wizard.h"

#include "NumText.h"

#include <cmath>
#include <limits>

// The products are formed in the 80-bit extended format (64-bit significand, round to nearest even) and
// rounded to double or float only at the marked points: evaluated in 64-bit doubles, B * 3 * 10 for the
// default inputs lands a hair above 6 and its ceiling gives 0,700 instead of 0,600.
static_assert(std::numeric_limits<long double>::digits == 64, "the wizard needs the 80-bit extended format");

namespace {
using ext = long double;

// Nearest extended values of the fractions (evaluated at compile time in extended precision).
constexpr ext kPerHour = 1.0L / 3600.0L;
constexpr ext kPerMinute = 1.0L / 60.0L;
constexpr ext kThird = 1.0L / 3.0L;
constexpr ext kTenth = 0.1L;

// Rounding points: the values that the arithmetic stores as 64-bit doubles or 32-bit floats.
double toDouble(ext x) {
    return double(x);
}
float toFloat(ext x) {
    return float(x);
}
double ceilD(double x) {
    return std::ceil(x);
}
} // namespace

std::optional<PulseVolume> ComputePulseVolume(double qmax, double pulse, double pause, bool byFlow) {
    // Gas through the output at the maximum flow during one pulse and one pause.
    double b = toDouble((ext(pause) + ext(pulse)) * ext(qmax) * kPerHour);
    if (!byFlow) {
        // By volume the controller needs at least the gas of 20 seconds per pulse.
        const double floor20 = toDouble(ext(qmax) * kPerMinute * kThird);
        if (b < floor20)
            b = floor20;
    }
    if (!std::isfinite(b))
        return std::nullopt;

    PulseVolume out;
    if (ext(b) * 3 >= 1) {
        // Whole cubic metres.
        out.recommended = ceilD(toDouble(ext(b) * 3));
        out.low = toFloat(ext(std::ceil(b)));
        out.high = toFloat(ext(ceilD(toDouble(ext(b) * 10))));
    } else {
        // Tenths of a cubic metre.
        out.recommended = toDouble(ext(ceilD(toDouble(ext(b) * 3 * 10))) * kTenth);
        out.low = toFloat(ext(ceilD(toDouble(ext(b) * 10))) * kTenth);
        out.high = toFloat(ext(ceilD(toDouble(ext(b) * 10 * 10))) * kTenth);
    }
    if (out.high < 1)
        out.high = 1;
    // A bound beyond the float range (or a recommendation beyond the double range) cannot be stored.
    if (!std::isfinite(out.recommended) || !std::isfinite(out.low) || !std::isfinite(out.high))
        return std::nullopt;
    return out;
}

std::optional<double> ReconstructQMax(float v, quint8 nag, quint8 pause) {
    const int sum = int(nag) + int(pause);
    if (sum == 0)
        return std::nullopt;
    const double q = toDouble(ext(v) / ext(sum) * 120000);
    if (!std::isfinite(q))
        return std::nullopt;
    return q;
}

QString WizardRangeCaption(float low, float high) {
    return QStringLiteral("Объем газа на один импульс [") + FormatNumber(low, 1) + QStringLiteral(" - ") +
           FormatNumber(high, 1) + QStringLiteral("] :");
}
