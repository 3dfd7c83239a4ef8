#pragma once
// The controller side of the virtual RMZ-47: assembles the tool's request frames from the line, decides
// what to answer from the simulated tables, and builds the answer bytes. No I/O here: the program moves
// the bytes, this module decides.
#include "SimFaults.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

// Identification (0), configuration (4) and state (7) tables; the others are not served.
constexpr std::uint8_t kTableIdent = 0;
constexpr std::uint8_t kTableConfig = 4;
constexpr std::uint8_t kTableState = 7;

// Number of 0xFF bytes sent ahead of every answer (the tool sends three ahead of its requests; the
// receiver needs at least one directly before the start byte).
constexpr int kAnswerPreamble = 3;
// A partial request is abandoned after this much silence between two bytes (ms). Many byte times even at
// 600 baud (16.7 ms a byte), far shorter than the tool's 500 ms answer time-out.
constexpr int kRequestGapMs = 100;

struct ControllerState {
    int softVersion = 3;
    bool configured = true;
    Bytes table4; // served as is: 23 bytes normally, 21 for versions below 2
};

// Table 4 as it leaves the factory (proto::ConfigImage::Factory): one run, 0.1 s pulse and pause, 3 s
// period, 100 m3 a pulse, 1 s answer time-out, runs at addresses 1/2/3 run 1 at 1200 baud, inverse float
// order, 5 attempts. 23 bytes, or the first 21 for versions below 2.
Bytes DefaultTable4(int softVersion);
// The identification table (14 bytes, byte 3 = software version) and the state table (8 bytes, byte 4 =
// 0 when configured).
Bytes IdentTable(int softVersion);
Bytes StateTable(bool configured);

// The controller's answer frame to `function` carrying `data` (none for a write's acknowledgement).
Bytes TableAnswer(std::uint8_t function, const Bytes& data);

// The decision for one complete request frame.
struct Decision {
    std::optional<Bytes> answer; // the answer frame (no preamble, no faults); empty optional = no answer
    std::string meaning;         // what the request was and why it is (not) answered
    bool stateChanged = false;   // a write changed the stored state (persist it)
};

class SimController {
public:
    SimController(ControllerState state, const FaultOptions& faults);

    // Pure decision for one complete frame (start byte .. CRC); updates the state on an accepted write.
    Decision decide(const Bytes& frame);

    // One request taken from the line, with its decision and the bytes to send (preamble, faults applied).
    struct Exchange {
        Bytes request;
        Decision decision;
        Bytes wire;           // what goes on the line; empty when nothing is answered
        std::string fault;    // the faults applied to this answer ("" when none)
        bool crcGood = false; // a well-formed frame of the tool, answered or not
    };
    // Feeds one received byte that arrived at time ms (line time, not read time). Returns the exchanges
    // completed by it: a request frame answered, or a complete frame refused (bad CRC, wrong address,
    // another table) so that it can be logged. Usually none or one.
    std::vector<Exchange> feed(std::uint8_t byte, std::int64_t ms);

    const ControllerState& state() const { return state_; }
    const FaultCounters& faults() const { return injector_.counters(); }

private:
    Decision decideRead(const Bytes& frame) const;
    Decision decideWrite(const Bytes& frame);
    void push(std::uint8_t byte, std::vector<Exchange>& out);
    void complete(std::vector<Exchange>& out);
    void rescanFrom(std::size_t skip, std::vector<Exchange>& out);

    ControllerState state_;
    bool forgetWrites_ = false;
    FaultInjector injector_;
    Bytes buf_;
    std::int64_t lastMs_ = 0;
};

// State file: table 4 and the configured flag, kept across runs. Text, one key a line:
//   table4 01 0A 0A ...
//   configured 1
// Loading fails (false, message) on an unreadable or malformed file; a missing file is not an error of
// Load, the caller checks existence. Saving replaces the file atomically (temporary file, rename).
bool LoadState(const std::string& path, ControllerState& state, std::string* error);
bool SaveState(const std::string& path, const ControllerState& state, std::string* error);

// Hex text: pairs of hex digits, optionally separated by blanks, ':', '-' or ','. False on anything else.
bool ParseHex(const std::string& text, Bytes& out);
std::string ToHex(const Bytes& bytes);

} // namespace sim
