#include "CfgRecord.h"

#include "NumText.h"
#include "Protocol.h"
#include "UserError.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559, "V is IEEE 754 single precision");

// Table 4 field offsets (bytes, unaligned, little-endian).
enum : int {
    kOffFlCount = 0,
    kOffNag = 1,
    kOffPause = 2,
    kOffPeriod = 3,
    kOffV = 5,
    kOffAnswer = 9,
    kOffRuns = 11, // Addr, Nitka, Speed per run, 3 bytes a run
    kOffFlags = 20,
};

void PutU16(quint8* p, quint16 v) {
    p[0] = quint8(v & 0xFF);
    p[1] = quint8(v >> 8);
}
quint16 GetU16(const quint8* p) {
    return quint16(p[0] | (p[1] << 8));
}
void PutU32(quint8* p, quint32 v) {
    for (int i = 0; i < 4; ++i)
        p[i] = quint8(v >> (8 * i));
}
quint32 GetU32(const quint8* p) {
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

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
    return {.byteOrder = softVersion >= 2, .tries = softVersion >= 3};
}

int ExpectedCfgSize(quint8 softVersion) {
    return softVersion >= 2 ? kCfgRecordSize : 21;
}

int CfgWriteSize(quint8 softVersion) {
    // Controllers before version 2 take 20 bytes: no flag bytes are written to them.
    return softVersion >= 2 ? kCfgRecordSize : 20;
}

std::array<quint8, kCfgRecordSize> CfgRecord::encode() const {
    std::array<quint8, kCfgRecordSize> b{};
    b[kOffFlCount] = FlCount;
    b[kOffNag] = Nag;
    b[kOffPause] = Pause;
    PutU16(&b[kOffPeriod], Period);
    PutU32(&b[kOffV], std::bit_cast<quint32>(V));
    PutU16(&b[kOffAnswer], Answer);
    for (int i = 0; i < 3; ++i) {
        b[kOffRuns + 3 * i] = Addr[i];
        b[kOffRuns + 3 * i + 1] = Nitka[i];
        b[kOffRuns + 3 * i + 2] = Speed[i];
        b[kOffFlags + i] = Flags[i];
    }
    return b;
}

void CfgRecord::decode(const quint8* data, int n) {
    // Fields past n keep their values: lay the new bytes over the current image and read it back.
    auto b = encode();
    n = std::clamp(n, 0, kCfgRecordSize);
    if (n > 0)
        std::memcpy(b.data(), data, std::size_t(n));
    FlCount = b[kOffFlCount];
    Nag = b[kOffNag];
    Pause = b[kOffPause];
    Period = GetU16(&b[kOffPeriod]);
    V = std::bit_cast<float>(GetU32(&b[kOffV]));
    Answer = GetU16(&b[kOffAnswer]);
    for (int i = 0; i < 3; ++i) {
        Addr[i] = b[kOffRuns + 3 * i];
        Nitka[i] = b[kOffRuns + 3 * i + 1];
        Speed[i] = b[kOffRuns + 3 * i + 2];
        Flags[i] = b[kOffFlags + i];
    }
}

bool AcceptIdentAnswer(Link& link, int count, CfgContext& cfg) {
    if (!ReadAnswerOk(link, count) || AnswerDataLength(link) < kIdentMinData)
        return false;
    cfg.SoftVersion = link.AnswerBuffer[kAnswerDataOffset + kIdentVersionByte];
    return true;
}

bool AcceptStateAnswer(Link& link, int count, bool* configured) {
    // The state byte is data byte 4: an answer with fewer data bytes does not carry it, and its place in
    // the buffer would be the CRC or stale bytes of an earlier frame. Such an answer is a failed attempt.
    if (!ReadAnswerOk(link, count) || AnswerDataLength(link) <= kStateByte)
        return false;
    if (configured)
        *configured = link.AnswerBuffer[kAnswerDataOffset + kStateByte] == 0;
    return true;
}

bool AcceptCfgAnswer(Link& link, int count, CfgContext& cfg) {
    if (!ReadAnswerOk(link, count))
        return false;
    const int expected = ExpectedCfgSize(cfg.SoftVersion);
    if (link.AnswerBuffer[7] != expected || AnswerDataLength(link) != expected)
        return false;
    cfg.record.decode(link.AnswerBuffer.data() + kAnswerDataOffset, expected);
    return true;
}

int BuildCfgWriteBody(const CfgContext& cfg, quint8* out23) {
    const int count = CfgWriteSize(cfg.SoftVersion);
    const auto b = cfg.record.encode();
    std::memcpy(out23, b.data(), std::size_t(count));
    return count;
}

QString VersionMessage(quint8 softVersion) {
    return QStringLiteral("Версия ПО ") + QString::number(softVersion) + QStringLiteral(" (выдача импульсов по ") +
           (softVersion == 3 ? QStringLiteral("расходу)") : QStringLiteral("объему)"));
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
        form.speedIndex[i] = SpeedCodeToIndex(r.Speed[i]);
    }
    form.v = FormatNumber(double(r.V), 3);
    form.nag = FormatNumber(r.Nag * 0.01, 3);
    form.pause = FormatNumber(r.Pause * 0.01, 3);
    form.period = FormatNumber(r.Period * 0.01, 3);
    form.answer = FormatNumber(r.Answer * 0.01, 3);
    const CfgVersionFields held = VersionFields(cfg.SoftVersion);
    // Before version 2 the controller has no byte order; the choice stays on its first item.
    for (int i = 0; i < 3; ++i)
        form.byteOrder[i] = (held.byteOrder && (r.Flags[i] & 1) == 0) ? 1 : 0;
    form.triesVisible = held.tries;
    if (form.triesVisible)
        form.tries = std::clamp(r.Flags[0] >> 4, 2, 10);
}

void FormToRecordChecked(CfgContext& cfg, CfgFormValues& form) {
    CfgRecord& r = cfg.record;

    const float v = ToSingle(ReadNumber(form.v));
    if (!(v > 0))
        throw UserError(kMsgVNotPositive);
    // A value beyond the single-precision range would reach the controller as infinity.
    if (!std::isfinite(v))
        throw UserError(kMsgVOutOfRange);
    if (cfg.VRangeSet && !(cfg.VLow <= v && v <= cfg.VHigh))
        throw UserError(kMsgVOutOfRange);
    r.V = v;

    r.Nag = quint8(ReadSeconds(form.nag, TimedField::Nag));
    r.Pause = quint8(ReadSeconds(form.pause, TimedField::Pause));
    r.Period = quint16(ReadSeconds(form.period, TimedField::Period));
    r.Answer = quint16(ReadSeconds(form.answer, TimedField::Answer));
}

void FormToRecordRest(CfgContext& cfg, const CfgFormValues& form) {
    CfgRecord& r = cfg.record;
    const CfgVersionFields held = VersionFields(cfg.SoftVersion);
    // The run-count group always has a choice once filled; without one, one run rather than 0.
    r.FlCount = (form.flIndex >= 0 && form.flIndex <= 2) ? quint8(form.flIndex + 1) : 1;
    for (int i = 0; i < 3; ++i) {
        r.Addr[i] = ToByte(form.addr[i]);
        r.Nitka[i] = ToByte(form.nitka[i]);
        r.Speed[i] = quint8(SpeedIndexToCode(form.speedIndex[i]));
        r.Flags[i] = 1; // inverse
        if (held.byteOrder && form.byteOrder[i] != 0)
            r.Flags[i] = 0;
    }
    if (held.tries)
        r.Flags[0] = quint8(r.Flags[0] | (std::clamp(form.tries, 2, 10) << 4));
}
