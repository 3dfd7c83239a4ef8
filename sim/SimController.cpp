#include "SimController.h"

#include "ConfigRecord.h"
#include "ControllerFrames.h"
#include "Crc16.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

using proto::kControllerAddress;
using proto::kFnReadTable;
using proto::kFnWriteTable;
using proto::kRequestStart;
using proto::kWriteDataOffset;
using proto::kWriteRequestOverhead;
// The smallest request is a table read: 8 header bytes and the CRC.
constexpr int kMinRequest = proto::kReadRequestLength;

std::string hex2(unsigned v) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%02X", v & 0xFFu);
    return s;
}

bool crcOk(const Bytes& frame) {
    return frame.size() >= 5 && proto::CrcMatches(frame);
}

} // namespace

Bytes DefaultTable4(int softVersion) {
    const proto::ConfigImage factory = proto::ConfigImage::Factory();
    return Bytes(factory.bytes().begin(), factory.bytes().begin() + proto::ConfigReadSize(softVersion));
}

Bytes IdentTable(int softVersion) {
    Bytes t(14, 0);
    t[0] = 47; // device type
    t[1] = 1;  // hardware revision
    t[3] = std::uint8_t(softVersion);
    return t;
}

Bytes StateTable(bool configured) {
    Bytes t(8, 0);
    t[4] = configured ? 0 : 1;
    return t;
}

Bytes TableAnswer(std::uint8_t function, const Bytes& data) {
    Bytes f(proto::kReadAnswerOverhead + data.size());
    f.resize(proto::BuildTableAnswer(f, function, data));
    return f;
}

SimController::SimController(ControllerState state, const FaultOptions& faults)
    : state_(std::move(state)), forgetWrites_(faults.forgetWrites), injector_(faults, proto::kAnswerStart) {}

Decision SimController::decide(const Bytes& frame) {
    Decision d;
    if (frame.size() < 3 || frame[0] != kRequestStart || frame[2] != frame.size() ||
        frame.size() < kMinRequest) {
        d.meaning = "ignored: not a request frame";
        return d;
    }
    if (!crcOk(frame)) {
        d.meaning = "ignored: bad CRC";
        return d;
    }
    if (frame[1] != kControllerAddress) {
        d.meaning = "ignored: address " + hex2(frame[1]);
        return d;
    }
    const std::uint8_t fn = frame[3];
    if (fn == kFnReadTable)
        return decideRead(frame);
    if (fn == kFnWriteTable)
        return decideWrite(frame);
    d.meaning = "ignored: function " + hex2(fn);
    return d;
}

Decision SimController::decideRead(const Bytes& frame) const {
    Decision d;
    if (frame.size() != kMinRequest || frame[4] != 0) {
        d.meaning = "ignored: malformed read request";
        return d;
    }
    const int table = frame[5], first = frame[6], asked = frame[7];
    Bytes data;
    if (table == kTableIdent)
        data = IdentTable(state_.softVersion);
    else if (table == kTableState)
        data = StateTable(state_.configured);
    else if (table == kTableConfig)
        data = state_.table4;
    else {
        d.meaning = "read table " + std::to_string(table) + ": not served";
        return d;
    }
    const std::string what = "read table " + std::to_string(table);
    if (asked == 0 || first >= int(data.size())) {
        d.meaning =
            what + ": fields " + std::to_string(first) + "+" + std::to_string(asked) + " out of range";
        return d;
    }
    const int n = std::min(asked, int(data.size()) - first);
    d.answer = TableAnswer(kFnReadTable, Bytes(data.begin() + first, data.begin() + first + n));
    d.meaning = what + ", " + std::to_string(n) + " bytes";
    if (table == kTableIdent)
        d.meaning += ", version " + std::to_string(state_.softVersion);
    else if (table == kTableState)
        d.meaning += state_.configured ? ", configured" : ", not configured";
    return d;
}

Decision SimController::decideWrite(const Bytes& frame) {
    Decision d;
    if (frame.size() < kWriteRequestOverhead || frame[23] + kWriteRequestOverhead != int(frame.size())) {
        d.meaning = "ignored: malformed write request";
        return d;
    }
    for (int i = 4; i <= 20; ++i)
        if (frame[std::size_t(i)] != 0) {
            d.meaning = "ignored: write header byte " + std::to_string(i) + " not 0";
            return d;
        }
    const int table = frame[21], first = frame[22], count = frame[23];
    const std::string what = "write table " + std::to_string(table) + ", " + std::to_string(count) + " bytes";
    if (table != kTableConfig) {
        d.meaning = what + ": not served";
        return d;
    }
    // Only the whole record from field 0 is taken, in the size this version writes; anything else
    // would leave the record half old, half new.
    const int expected = proto::ConfigWriteSize(state_.softVersion);
    if (first != 0 || count != expected || count > int(state_.table4.size())) {
        d.meaning = what + " from field " + std::to_string(first) + ": refused (version " +
                    std::to_string(state_.softVersion) + " takes " + std::to_string(expected) + " from 0)";
        return d;
    }
    d.answer = TableAnswer(kFnWriteTable, {});
    if (forgetWrites_) {
        d.meaning = what + ", acknowledged and forgotten";
        return d;
    }
    std::copy(frame.begin() + kWriteDataOffset, frame.begin() + kWriteDataOffset + count,
              state_.table4.begin());
    state_.configured = true;
    d.stateChanged = true;
    d.meaning = what + ", stored";
    return d;
}

std::vector<SimController::Exchange> SimController::feed(std::uint8_t byte, std::int64_t ms) {
    std::vector<Exchange> out;
    if (!buf_.empty() && ms - lastMs_ > kRequestGapMs)
        buf_.clear();
    lastMs_ = ms;
    push(byte, out);
    return out;
}

void SimController::push(std::uint8_t byte, std::vector<Exchange>& out) {
    if (buf_.empty()) {
        if (byte == kRequestStart)
            buf_.push_back(byte);
        return;
    }
    buf_.push_back(byte);
    if (buf_.size() == 3 && buf_[2] < kMinRequest) {
        // No request is this short: the start byte was a data byte; look again behind it.
        rescanFrom(1, out);
        return;
    }
    if (buf_.size() >= 3 && buf_.size() == buf_[2]) {
        complete(out);
        return;
    }
    // A false start (a 0xCC among noise) may announce a long frame and swallow the real request behind
    // it: a complete request with a good CRC that ends here wins over the longer candidate.
    for (std::size_t i = 1; i + kMinRequest <= buf_.size(); ++i) {
        if (buf_[i] != kRequestStart || buf_[i + 2] != buf_.size() - i)
            continue;
        const Bytes inner(buf_.begin() + std::ptrdiff_t(i), buf_.end());
        if (crcOk(inner)) {
            buf_ = inner;
            complete(out);
            return;
        }
    }
}

void SimController::complete(std::vector<Exchange>& out) {
    Exchange x;
    x.request = buf_;
    x.decision = decide(buf_);
    const bool crcGood = crcOk(buf_);
    x.crcGood = crcGood;
    if (x.decision.answer) {
        const Bytes preamble(kAnswerPreamble, 0xFF);
        x.wire = injector_.apply(preamble, *x.decision.answer, &x.fault);
    }
    out.push_back(std::move(x));
    if (crcGood)
        buf_.clear();
    else
        rescanFrom(1, out); // the start byte may have been noise; a real frame may begin inside
}

void SimController::rescanFrom(std::size_t skip, std::vector<Exchange>& out) {
    const Bytes rest(buf_.begin() + std::ptrdiff_t(skip), buf_.end());
    buf_.clear();
    for (std::uint8_t b : rest)
        push(b, out);
}

bool ParseHex(const std::string& text, Bytes& out) {
    out.clear();
    int nibble = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c == ' ' || c == ':' || c == '-' || c == ',') {
            if (nibble >= 0)
                return false; // separators only between whole bytes
            continue;
        } else
            return false;
        if (nibble < 0)
            nibble = v;
        else {
            out.push_back(std::uint8_t(nibble * 16 + v));
            nibble = -1;
        }
    }
    return nibble < 0;
}

std::string ToHex(const Bytes& bytes) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        if (i)
            s += ' ';
        s += b;
    }
    return s;
}

bool LoadState(const std::string& path, ControllerState& state, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    ControllerState s = state;
    bool haveTable = false;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream ls(line);
        std::string key;
        ls >> key;
        std::string rest;
        std::getline(ls, rest);
        bool ok = false;
        if (key == "table4") {
            Bytes t;
            ok = ParseHex(rest, t) && proto::IsConfigReadSize(int(t.size()));
            if (ok) {
                s.table4 = t;
                haveTable = true;
            }
        } else if (key == "configured") {
            const auto p = rest.find_first_not_of(' ');
            const std::string v = p == std::string::npos ? "" : rest.substr(p);
            ok = v == "0" || v == "1";
            s.configured = v == "1";
        }
        if (!ok) {
            if (error)
                *error = path + ":" + std::to_string(lineNo) + ": bad line";
            return false;
        }
    }
    if (!haveTable) {
        if (error)
            *error = path + ": no table4 line";
        return false;
    }
    state = s;
    return true;
}

bool SaveState(const std::string& path, const ControllerState& state, std::string* error) {
    std::ostringstream text;
    text << "# virtual RMZ-47 state: configuration table 4 and the configured flag\n"
         << "table4 " << ToHex(state.table4) << "\n"
         << "configured " << (state.configured ? 1 : 0) << "\n";
    const std::string body = text.str();
    // The state file may sit in a shared folder: a fixed temporary name there could be a planted link
    // that the write would follow. mkstemp creates a new file with O_EXCL, never opening an existing path.
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        if (error)
            *error = "cannot create a temporary file beside " + path;
        return false;
    }
    ::fchmod(fd, 0644);
    bool written = true;
    for (std::size_t done = 0; written && done < body.size();) {
        const ssize_t n = ::write(fd, body.data() + done, body.size() - done);
        written = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? std::size_t(n) : 0;
    }
    written = ::close(fd) == 0 && written;
    if (!written) {
        if (error)
            *error = "cannot write " + tmp;
        ::unlink(tmp.c_str());
        return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        if (error)
            *error = "cannot replace " + path;
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace sim
