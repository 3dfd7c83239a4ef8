#include "SimMaster.h"

#include "ControllerFrames.h"

#include <cstdio>
#include <sstream>

namespace sim {

namespace {

using proto::kFlowAnswerStart;
using proto::kFlowRequestStart;

bool parseByteNumber(const std::string& s, std::uint8_t& v) {
    if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::stoi(s);
    if (n < 1 || n > 255)
        return false;
    v = std::uint8_t(n);
    return true;
}

} // namespace

std::string NumberText(const char* format, double value) {
    char s[64];
    std::snprintf(s, sizeof s, format, value);
    return s;
}

bool ParsePollList(const std::string& text, std::vector<PollPair>& pairs, std::string* error) {
    pairs.clear();
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        std::vector<std::string> parts;
        std::stringstream fields(item);
        std::string f;
        while (std::getline(fields, f, ':'))
            parts.push_back(f);
        PollPair p;
        bool ok = (parts.size() == 2 || parts.size() == 3) && parseByteNumber(parts[0], p.addr) &&
                  parseByteNumber(parts[1], p.run);
        if (ok && parts.size() == 3) {
            if (parts[2] == "msb")
                p.msbFirst = true;
            else if (parts[2] == "lsb")
                p.msbFirst = false;
            else
                ok = false;
        }
        if (!ok) {
            if (error)
                *error = "bad poll pair '" + item + "' (ADDR:RUN[:msb|:lsb], 1..255)";
            pairs.clear();
            return false;
        }
        pairs.push_back(p);
    }
    if (pairs.empty() || (!text.empty() && text.back() == ',')) {
        if (error)
            *error = "empty poll list";
        pairs.clear();
        return false;
    }
    return true;
}

Bytes BuildFlowRequest(const PollPair& pair) {
    const auto f = proto::BuildFlowRequest(pair.addr, pair.run);
    return Bytes(f.begin(), f.end());
}

FlowAnswerCheck CheckFlowAnswer(const Bytes& a, const PollPair& pair) {
    using O = proto::FlowAnswerOutcome;
    const proto::FlowAnswerFields d = proto::DecodeFlowAnswer(a, pair.msbFirst);
    FlowAnswerCheck c;
    // The decoder checks the frame in its order; what was asked is checked between, as a reader of the
    // bytes in line order would find it: the address behind the start byte, the run behind the function.
    if (d.outcome == O::WrongSize)
        c.problem = "size " + std::to_string(a.size()) + ", not 23";
    else if (d.outcome == O::WrongStart)
        c.problem = "start byte not 0x55";
    else if (d.addr != pair.addr)
        c.problem = "address " + std::to_string(d.addr) + ", asked " + std::to_string(pair.addr);
    else if (d.outcome == O::WrongLength)
        c.problem = "length byte not 0x17";
    else if (d.outcome == O::WrongFunction)
        c.problem = "function not 0x86";
    else if (d.run != pair.run)
        c.problem = "run " + std::to_string(d.run) + ", asked " + std::to_string(pair.run);
    else if (d.outcome == O::BadCrc)
        c.problem = "bad CRC";
    else if (d.outcome == O::ReservedNotZero)
        c.problem = "bytes 13..16 not zero";
    else if (d.outcome == O::VolumeMismatch)
        c.problem = "volume in bytes 17..20 differs from bytes 9..12";
    c.ok = d.outcome == O::Ok && c.problem.empty();
    if (c.ok) {
        c.flow = d.flow;
        c.volume = d.volume;
    }
    return c;
}

void FlowAnswerCollector::reset() {
    answer_.clear();
    seenFF_ = false;
    received_ = 0;
}

bool FlowAnswerCollector::feed(std::uint8_t byte) {
    ++received_;
    if (answer_.empty()) {
        if (byte == kFlowAnswerStart && seenFF_)
            answer_.push_back(byte);
        seenFF_ = byte == proto::kPreambleByte;
        return false;
    }
    if (answer_.size() < kFlowAnswerSize)
        answer_.push_back(byte);
    return answer_.size() == kFlowAnswerSize;
}

SimMaster::SimMaster(std::vector<PollPair> pairs, const FaultOptions& faults)
    : pairs_(std::move(pairs)), injector_(faults, kFlowRequestStart) {}

SimMaster::Request SimMaster::nextRequest() {
    Request r;
    r.pair = pairs_[next_];
    next_ = (next_ + 1) % pairs_.size();
    r.frame = BuildFlowRequest(r.pair);
    r.wire = injector_.apply({}, r.frame, &r.fault);
    if (!r.wire.empty())
        ++totals_.sent;
    return r;
}

SimMaster::Outcome SimMaster::answerComplete(const Bytes& answer, const PollPair& pair) {
    Outcome o;
    o.check = CheckFlowAnswer(answer, pair);
    if (o.check.ok) {
        o.kind = Outcome::Good;
        ++totals_.good;
        o.text = "addr " + std::to_string(pair.addr) + " run " + std::to_string(pair.run) + " flow " +
                 NumberText("%.3f", o.check.flow) + " m3/h volume " + NumberText("%.3f", o.check.volume) +
                 " m3 (" + (pair.msbFirst ? "msb" : "lsb") + " first)";
    } else {
        o.kind = Outcome::Bad;
        ++totals_.bad;
        o.text = "addr " + std::to_string(pair.addr) + " run " + std::to_string(pair.run) +
                 " BAD: " + o.check.problem;
    }
    return o;
}

SimMaster::Outcome SimMaster::windowClosed(const FlowAnswerCollector& collector) {
    Outcome o;
    if (collector.received() == 0) {
        o.kind = Outcome::Missing;
        ++totals_.missing;
        o.text = "MISSING: no answer";
    } else {
        o.kind = Outcome::Bad;
        ++totals_.bad;
        o.text =
            collector.started()
                ? "BAD: answer cut short after " + std::to_string(collector.answer().size()) + " of 23 bytes"
                : "BAD: " + std::to_string(collector.received()) + " bytes, no answer start";
    }
    return o;
}

std::string SimMaster::totalsLine() const {
    return "totals: sent " + std::to_string(totals_.sent) + " good " + std::to_string(totals_.good) +
           " bad " + std::to_string(totals_.bad) + " missing " + std::to_string(totals_.missing) + " " +
           InjectedText(injector_.counters());
}

} // namespace sim
