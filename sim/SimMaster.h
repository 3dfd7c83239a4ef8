#pragma once
// The master side of the virtual RMZ-47: in the imitation job the controller polls its flow computers.
// Builds the flow requests, collects and checks the answers the tool sends back, keeps the totals.
// No I/O here.
#include "FlowFrames.h"
#include "SimFaults.h"

#include <cstdint>
#include <string>

namespace sim {

// A flow computer's run as the controller polls it, with the byte order of that computer's floats.
struct PollPair {
    std::uint8_t addr = 1;
    std::uint8_t run = 1;
    bool msbFirst = true;
};

// "ADDR:RUN[:msb|:lsb][,...]", addresses and runs 1..255. False with a message on anything else.
bool ParsePollList(const std::string& text, std::vector<PollPair>& pairs, std::string* error);

// AA addr 07 06 run CRC (CRC-16/MODBUS over the first five bytes, low byte first).
Bytes BuildFlowRequest(const PollPair& pair);

using proto::kFlowAnswerSize;

// Line time of an answer, the 0xFF ahead of it and its 23 bytes, at byteMs a byte: a request's answer
// window lasts this long after the request has left, plus the wait for the answer.
constexpr double FlowAnswerLineMs(double byteMs) {
    return (kFlowAnswerSize + 1) * byteMs;
}

struct FlowAnswerCheck {
    bool ok = false;
    std::string problem; // the first check that failed
    float flow = 0;      // m3/h
    float volume = 0;    // m3 since the imitation started
};
// Checks a 23-byte answer (without the 0xFF ahead of it) against the pair it was asked of: start 0x55,
// echoed address, length 0x17, function 0x86, echoed run, CRC, bytes 13..16 zero and the volume repeated
// in bytes 17..20; decodes flow and volume in the pair's byte order.
FlowAnswerCheck CheckFlowAnswer(const Bytes& answer, const PollPair& pair);

// Decodes a 4-byte IEEE single, most significant byte first when msbFirst.
using proto::DecodeFloat;

// Collects the answer to one request: hunts for 0xFF directly followed by 0x55, then takes 23 bytes.
class FlowAnswerCollector {
public:
    void reset();
    // True when the answer is complete (answer() then holds its 23 bytes).
    bool feed(std::uint8_t byte);
    bool started() const { return !answer_.empty(); }
    int received() const { return received_; } // all bytes seen since reset, noise included
    const Bytes& answer() const { return answer_; }

private:
    Bytes answer_;
    bool seenFF_ = false;
    int received_ = 0;
};

// printf-style text of one number for the log and status lines ("%.3f": "1.250").
std::string NumberText(const char* format, double value);

struct MasterTotals {
    int sent = 0;
    int good = 0;
    int bad = 0;
    int missing = 0;
};

class SimMaster {
public:
    SimMaster(std::vector<PollPair> pairs, const FaultOptions& faults);

    // The next request in turn: the pair polled and the bytes for the line (faults applied).
    struct Request {
        PollPair pair;
        Bytes frame; // the clean request
        Bytes wire;  // what goes on the line (empty when the fault injection dropped it)
        std::string fault;
    };
    Request nextRequest();

    // Outcome of the answer window of the last request: complete answer, or what arrived by the
    // deadline (nothing at all counts as missing, anything else as bad).
    struct Outcome {
        enum Kind { Good, Bad, Missing } kind = Missing;
        FlowAnswerCheck check;
        std::string text; // decoded meaning for the log
    };
    Outcome answerComplete(const Bytes& answer, const PollPair& pair);
    Outcome windowClosed(const FlowAnswerCollector& collector);

    const MasterTotals& totals() const { return totals_; }
    const FaultCounters& faults() const { return injector_.counters(); }
    std::string totalsLine() const;

private:
    std::vector<PollPair> pairs_;
    std::size_t next_ = 0;
    FaultInjector injector_;
    MasterTotals totals_;
};

} // namespace sim
