#pragma once
// The controller's identification (0), state (7) and configuration (4) tables as the tool uses them, the
// configuration record that mirrors table 4, and its conversion to and from what the operator sees.
// No widgets here: the configuration form moves values between CfgFormValues and its controls.
#include "ConfigRecord.h"
#include "ControllerFrames.h"
#include "VersionText.h"

#include <QString>
#include <QtGlobal>
#include <array>

// Table 4 in memory, with the names the configuration uses. Its bytes and their layout are
// proto::ConfigImage's; a new record holds the controller's factory settings. Times in hundredths of a
// second.
struct CfgRecord {
    CfgRecord() { take(proto::ConfigImage::Factory()); }
    quint8 FlCount;              // runs served, 1..3
    quint8 Nag;                  // pulse duration
    quint8 Pause;                // pause between pulses
    quint16 Period;              // polling period
    float V;                     // gas volume per pulse, m3
    quint16 Answer;              // answer time-out
    std::array<quint8, 3> Addr;  // per run: the flow computer's address
    std::array<quint8, 3> Nitka; // run number inside it
    std::array<quint8, 3> Speed; // LineSpeedTable code
    std::array<quint8, 3> Flags; // proto::RunFlags: byte order; run 1 also the attempts

    proto::ConfigImage image() const;
    void take(const proto::ConfigImage& image);
    proto::ConfigImage::Bytes encode() const { return image().bytes(); }
    // Copies n (<= 23) bytes over this record from offset 0; the fields beyond n keep their values.
    void decode(const quint8* data, int n);
    bool operator==(const CfgRecord&) const = default;
};

// Configuration state shared by the configure flow, the form and the wizard.
struct CfgContext {
    CfgRecord record;
    quint8 SoftVersion = 0;
    quint8 CfgState = 0; // 0 not configured (defaults), 1 read from the controller, 2 wizard completed
    float VLow = 0, VHigh = 0;
    bool VRangeSet = false;
    double QMax = 3600.0; // m3/h, wizard; lives for the program run
    bool PulsesByFlow() const { return proto::PulsesByFlow(SoftVersion); }
};

// The fields of table 4 that not every software version holds; the others every version has.
struct CfgVersionFields {
    bool byteOrder = false; // the runs' float byte order (bit 0 of each Flags byte), from version 2 on
    bool tries = false;     // the most polling attempts (run 1 Flags bits 4..7), from version 3 on
};
CfgVersionFields VersionFields(quint8 softVersion);

// Answer acceptance: a read answer that passed the protocol's checks (a parse of ReadTable), then the
// table's own rules.
bool AcceptIdentAnswer(const proto::ParsedAnswer& answer, CfgContext& cfg); // sets SoftVersion
bool AcceptStateAnswer(const proto::ParsedAnswer& answer, bool* configured);
bool AcceptCfgAnswer(const proto::ParsedAnswer& answer, CfgContext& cfg); // copies the data into cfg.record
// The data of the configuration write: 23 bytes, or 20 for SoftVersion 0 and 1. Returns the count.
int BuildCfgWriteBody(const CfgContext& cfg, quint8* out23);

// What the configuration form shows and collects.
struct CfgFormValues {
    int flIndex = -1;                          // FlRadioGroup item
    QString period, answer, v, nag, pause;     // edit texts
    std::array<int, 3> addr{1, 1, 1};          // AddrSpinEditN (the spin edit clamps to 1..255)
    std::array<int, 3> nitka{1, 1, 1};         // NitkaSpinEditN
    std::array<int, 3> speedIndex{-1, -1, -1}; // SpeedNRadioGroup item
    std::array<int, 3> byteOrder{0, 0, 0};     // RadioGroupN item: 0 inverse, 1 direct
    bool triesVisible = false;                 // FlTriesSpinEdit shown (SoftVersion >= 3)
    int tries = 2;                             // FlTriesSpinEdit (the spin edit clamps to 2..10)
};

// The timed values of the configuration, in the order they are checked.
enum class TimedField { Nag, Pause, Period, Answer };

// The seconds a timed value may take, both bounds included and compared as doubles (0.1 is the double
// nearest to one tenth), and what the configuration form says about a value outside them. The wizard
// checks its own edits against the same bounds but words its messages apart.
struct SecondsRange {
    double low;
    double high;
    const char16_t* message;
    bool contains(double x) const { return low <= x && x <= high; }
};

// One row per TimedField, in its order. The record keeps them as hundredths of a second: the pulse (200 at
// most) and the pause in one byte each, the period and the answer time-out (2000 at most) in two.
inline constexpr std::array<SecondsRange, 4> kTimedRanges{{
    {0.1, 2, u"Значение длительности импульса должно быть от 0,1 до 2 секунд!"},
    {0.1, 1, u"Значение длительности паузы должно быть от 0,1 до 1 секунды!"},
    {1, 10, u"Значение периода опроса должно быть от 1 до 10 секунд!"},
    {5, 20, u"Время ожидания ответа должно быть от 5 до 20 секунд!"},
}};
static_assert(kTimedRanges.size() == std::size_t(TimedField::Answer) + 1, "one row per timed value");
constexpr const SecondsRange& TimedRange(TimedField f) {
    return kTimedRanges[std::size_t(f)];
}

// The volume per pulse as the form takes it, in m3: x to single precision, refused with the form's own
// text (UserError) when it is not above 0, not finite as a single, or outside the wizard's range once the
// wizard ran for cfg. Files and the command line go through it too, so a value means the same everywhere.
float AcceptedVolume(double x, const CfgContext& cfg);

// Record to form (may set record.FlCount to 1 when it was out of 1..3).
void RecordToForm(CfgContext& cfg, CfgFormValues& form);
// Form to record, the part that can be refused: the volume per pulse (above 0, and within the wizard's
// range once it was computed), then the timed values by kTimedRanges. Each edit text is normalised in
// `form` before it is parsed (the form writes the texts back). The first value refused throws UserError
// with its message; the values before it are already stored.
void FormToRecordChecked(CfgContext& cfg, CfgFormValues& form);
// Form to record, the choices that cannot be wrong (run count, runs, speeds, byte order, attempts); call
// it once FormToRecordChecked has passed.
void FormToRecordRest(CfgContext& cfg, const CfgFormValues& form);
