#include "CfgRecord.h"

#include "LineSpeed.h"
#include "Logging.h"
#include "NumText.h"
#include "UserError.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

namespace {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559, "V is IEEE 754 single precision");

// Table 0: data byte 3 is the software version; the controller sends at least 14 bytes.
constexpr int kIdentMinData = 14;
constexpr int kIdentVersionByte = 3;
// Table 7: data byte 4 is the configured flag (0 = configured).
constexpr int kStateByte = 4;
// The volume per pulse has no fixed bounds (above 0, then the wizard's range when there is one), so its
// messages stand apart from kTimedRanges.
const QString kMsgVNotPositive = QStringLiteral("Значение цены импульса должно быть больше нуля! ");
const QString kMsgVOutOfRange = QStringLiteral("Значение цены импульса выходит за допустимые диапазоны! ");

// Normalises the separators of the text in place (the form shows the normalised text afterwards) and
// parses it; a text that is no number throws the parser's UserError.
double ReadNumber(QString& text) {
    text = NormalizeDecimalSeparator(text);
    return ParseNumber(text);
}

// Seconds to hundredths, rounded to the nearest whole number in extended precision, so that every value
// typed with at most two decimals is stored exactly (0.29 * 100 is 28.999... in double).
int ToHundredths(double seconds) {
    return int(std::nearbyint(static_cast<long double>(seconds) * 100.0L));
}

// A timed value read from `text` and accepted within its row of kTimedRanges; stored as hundredths.
int ReadSeconds(QString& text, TimedField field) {
    const double x = ReadNumber(text);
    const SecondsRange& range = TimedRange(field);
    if (!range.contains(x))
        throw UserError(QString::fromUtf16(range.message));
    return ToHundredths(x);
}

// Nearest single-precision value. Beyond the largest float (from halfway to the next power of two on,
// where rounding gives infinity) the result is infinite; the cast itself would be undefined there.
float ToSingle(double x) {
    constexpr double kOverflow = double(FLT_MAX) + 0x1p103; // 2^128 - 2^103
    if (std::isnan(x))
        return std::numeric_limits<float>::quiet_NaN();
    if (std::fabs(x) >= kOverflow)
        return x > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    if (std::fabs(x) > double(FLT_MAX))
        return x > 0 ? FLT_MAX : -FLT_MAX;
    return static_cast<float>(x);
}

quint8 ToByte(int v) {
    return quint8(std::clamp(v, 0, 255));
}

} // namespace

CfgVersionFields VersionFields(quint8 softVersion) {
    return {.byteOrder = proto::CarriesByteOrder(softVersion), .tries = proto::CarriesAttempts(softVersion)};
}

proto::ConfigImage CfgRecord::image() const {
    proto::ConfigImage b;
    b.setFlCount(FlCount);
    b.setNag(Nag);
    b.setPause(Pause);
    b.setPeriod(Period);
    b.setV(V);
    b.setAnswer(Answer);
    for (int i = 0; i < proto::kConfigRuns; ++i) {
        b.setAddr(i, Addr[i]);
        b.setNitka(i, Nitka[i]);
        b.setSpeed(i, Speed[i]);
        b.setFlags(i, Flags[i]);
    }
    return b;
}

void CfgRecord::take(const proto::ConfigImage& b) {
    FlCount = b.flCount();
    Nag = b.nag();
    Pause = b.pause();
    Period = b.period();
    V = b.v();
    Answer = b.answer();
    for (int i = 0; i < proto::kConfigRuns; ++i) {
        Addr[i] = b.addr(i);
        Nitka[i] = b.nitka(i);
        Speed[i] = b.speed(i);
        Flags[i] = b.flags(i);
    }
}

void CfgRecord::decode(const quint8* data, int n) {
    proto::ConfigImage b = image();
    b.overlay(std::span<const quint8>(data, std::size_t(std::clamp(n, 0, proto::kConfigRecordSize))));
    take(b);
}

bool AcceptIdentAnswer(const proto::ParsedAnswer& answer, CfgContext& cfg) {
    if (!answer.ok() || answer.data.size() < std::size_t(kIdentMinData))
        return false;
    cfg.SoftVersion = answer.data[kIdentVersionByte];
    return true;
}

bool AcceptStateAnswer(const proto::ParsedAnswer& answer, bool* configured) {
    // The state byte is data byte 4: an answer with fewer data bytes does not carry it. Such an answer is
    // a failed attempt.
    if (!answer.ok() || answer.data.size() <= std::size_t(kStateByte))
        return false;
    if (configured)
        *configured = answer.data[kStateByte] == 0;
    return true;
}

bool AcceptCfgAnswer(const proto::ParsedAnswer& answer, CfgContext& cfg) {
    if (!answer.ok())
        return false;
    const int expected = proto::ConfigReadSize(cfg.SoftVersion);
    if (answer.data.size() != std::size_t(expected)) {
        qCDebug(lcConfig) << "table 4 refused: version" << int(cfg.SoftVersion) << "sends" << expected
                          << "data bytes, the answer carries" << answer.data.size();
        return false;
    }
    cfg.record.decode(answer.data.data(), expected);
    return true;
}

int BuildCfgWriteBody(const CfgContext& cfg, quint8* out23) {
    const int count = proto::ConfigWriteSize(cfg.SoftVersion);
    const auto b = cfg.record.encode();
    std::memcpy(out23, b.data(), std::size_t(count));
    return count;
}

void RecordToForm(CfgContext& cfg, CfgFormValues& form) {
    CfgRecord& r = cfg.record;
    if (r.FlCount == 0 || r.FlCount > 3)
        r.FlCount = 1;
    form.flIndex = r.FlCount - 1;
    for (int i = 0; i < 3; ++i) {
        // The spin edits hold 1..255.
        form.addr[i] = std::max<int>(r.Addr[i], 1);
        form.nitka[i] = std::max<int>(r.Nitka[i], 1);
        form.speedIndex[i] = proto::SpeedCodeToIndex(r.Speed[i]);
    }
    form.v = FormatNumber(double(r.V), 3);
    form.nag = FormatNumber(r.Nag * 0.01, 3);
    form.pause = FormatNumber(r.Pause * 0.01, 3);
    form.period = FormatNumber(r.Period * 0.01, 3);
    form.answer = FormatNumber(r.Answer * 0.01, 3);
    // Before version 2 the controller has no byte order; the choice stays on its first item.
    const bool byteOrder = proto::CarriesByteOrder(cfg.SoftVersion);
    for (int i = 0; i < 3; ++i)
        form.byteOrder[i] = (byteOrder && !proto::FlagMsbFirst(r.Flags[i])) ? 1 : 0;
    form.triesVisible = proto::CarriesAttempts(cfg.SoftVersion);
    if (form.triesVisible)
        form.tries = std::clamp(proto::FlagAttempts(r.Flags[0]), proto::kMinAttempts, proto::kMaxAttempts);
}

float AcceptedVolume(double x, const CfgContext& cfg) {
    const float v = ToSingle(x);
    if (!(v > 0))
        throw UserError(kMsgVNotPositive);
    // A value beyond the single-precision range would reach the controller as infinity.
    if (!std::isfinite(v))
        throw UserError(kMsgVOutOfRange);
    if (cfg.VRangeSet && !(cfg.VLow <= v && v <= cfg.VHigh))
        throw UserError(kMsgVOutOfRange);
    return v;
}

void FormToRecordChecked(CfgContext& cfg, CfgFormValues& form) {
    CfgRecord& r = cfg.record;

    r.V = AcceptedVolume(ReadNumber(form.v), cfg);

    r.Nag = quint8(ReadSeconds(form.nag, TimedField::Nag));
    r.Pause = quint8(ReadSeconds(form.pause, TimedField::Pause));
    r.Period = quint16(ReadSeconds(form.period, TimedField::Period));
    r.Answer = quint16(ReadSeconds(form.answer, TimedField::Answer));
}

void FormToRecordRest(CfgContext& cfg, const CfgFormValues& form) {
    CfgRecord& r = cfg.record;
    // The run-count group always has a choice once filled; without one, one run rather than 0.
    r.FlCount = (form.flIndex >= 0 && form.flIndex <= 2) ? quint8(form.flIndex + 1) : 1;
    // Inverse unless the controller takes a byte order and the run's choice is direct.
    const bool byteOrder = proto::CarriesByteOrder(cfg.SoftVersion);
    for (int i = 0; i < 3; ++i) {
        r.Addr[i] = ToByte(form.addr[i]);
        r.Nitka[i] = ToByte(form.nitka[i]);
        r.Speed[i] = quint8(proto::SpeedIndexToCode(form.speedIndex[i]));
        r.Flags[i] = proto::RunFlags(!(byteOrder && form.byteOrder[i] != 0));
    }
    if (proto::CarriesAttempts(cfg.SoftVersion))
        r.Flags[0] = proto::RunFlags(proto::FlagMsbFirst(r.Flags[0]),
                                     std::clamp(form.tries, proto::kMinAttempts, proto::kMaxAttempts));
}
