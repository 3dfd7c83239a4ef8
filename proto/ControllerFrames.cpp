#include "ControllerFrames.h"

#include "Crc16.h"

#include <algorithm>

namespace proto {

std::size_t BuildReadRequest(std::span<std::uint8_t> out, std::uint8_t table) {
    if (out.size() < std::size_t(kReadRequestLength))
        return 0;
    // clang-format off
    const std::uint8_t frame[kReadRequestLength] = {
        kRequestStart, kControllerAddress, kReadRequestLength, kFnReadTable,
        0x00,       // always 0
        table,
        0x00,       // first field
        0xFF,       // number of fields: all of them
        0x00, 0x00, // CRC, completed when the request is sent
    };
    // clang-format on
    std::copy(std::begin(frame), std::end(frame), out.begin());
    return kReadRequestLength;
}

std::size_t BuildWriteRequest(std::span<std::uint8_t> out, std::uint8_t table,
                              std::span<const std::uint8_t> data) {
    const std::size_t n = kWriteRequestOverhead + data.size();
    if (data.size() > std::size_t(kMaxWriteCount) || out.size() < n)
        return 0;
    std::fill_n(out.begin(), n, std::uint8_t(0)); // 4..20 stay zero, and the CRC until it is sent
    out[0] = kRequestStart;
    out[1] = kControllerAddress;
    out[2] = std::uint8_t(n);
    out[3] = kFnWriteTable;
    out[21] = table;
    out[22] = 0x00; // first field
    out[23] = std::uint8_t(data.size());
    std::copy(data.begin(), data.end(), out.begin() + kWriteDataOffset);
    return n;
}

int CompleteRequest(std::span<std::uint8_t> frame) {
    if (frame.size() < 3)
        return 0;
    const int n = frame[2];
    if (n == 0 || std::size_t(n) > frame.size())
        return 0;
    if (frame[0] == kRequestStart)
        frame[1] = kControllerAddress;
    FrameCrc(frame.data(), frame.size());
    return n;
}

const char* OutcomeName(AnswerOutcome outcome) {
    switch (outcome) {
    case AnswerOutcome::Ok:
        return "ok";
    case AnswerOutcome::Silence:
        return "silence";
    case AnswerOutcome::BadLength:
        return "bad-length";
    case AnswerOutcome::CutShort:
        return "cut-short";
    case AnswerOutcome::BadCrc:
        return "bad-crc";
    case AnswerOutcome::WrongFunction:
        return "wrong-function";
    case AnswerOutcome::WrongCount:
        return "wrong-count";
    }
    return "?";
}

bool IsFrameFault(AnswerOutcome outcome) {
    return outcome == AnswerOutcome::Silence || outcome == AnswerOutcome::BadLength ||
           outcome == AnswerOutcome::CutShort || outcome == AnswerOutcome::BadCrc;
}

ParsedAnswer ParseAnswerFrame(std::span<const std::uint8_t> answer, int count) {
    ParsedAnswer p;
    if (count <= 0)
        return p;
    if (answer.size() < 3) {
        p.outcome = AnswerOutcome::CutShort;
        return p;
    }
    p.length = answer[2];
    // The length byte is judged before the CRC: a frame shorter than 6 cannot carry a function code and
    // its CRC would be taken over a frame that is not one.
    if (p.length < kMinAnswerLength) {
        p.outcome = AnswerOutcome::BadLength;
    } else if (count < p.length || std::size_t(p.length) > answer.size()) {
        p.outcome = AnswerOutcome::CutShort;
    } else if (!CrcMatches(answer.first(std::size_t(p.length)))) {
        p.outcome = AnswerOutcome::BadCrc;
    } else {
        p.outcome = AnswerOutcome::Ok;
        p.function = answer[3];
    }
    return p;
}

ParsedAnswer ParseAnswer(std::span<const std::uint8_t> answer, int count, std::uint8_t requestFunction) {
    ParsedAnswer p = ParseAnswerFrame(answer, count);
    if (p.ok() && p.function != std::uint8_t(requestFunction | kAnswerBit))
        p.outcome = AnswerOutcome::WrongFunction;
    return p;
}

ParsedAnswer ParseReadAnswer(std::span<const std::uint8_t> answer, int count) {
    ParsedAnswer p = ParseAnswer(answer, count, kFnReadTable);
    if (!p.ok())
        return p;
    // The length byte is at least 6 here; below 10 no count byte can equal N - 10.
    const int dataLength = p.length - kReadAnswerOverhead;
    const int countByte = p.length > kAnswerCountByte ? answer[kAnswerCountByte] : -1;
    if (countByte <= 0 || countByte != dataLength) {
        p.outcome = AnswerOutcome::WrongCount;
        return p;
    }
    p.data = answer.subspan(kAnswerDataOffset, std::size_t(dataLength));
    return p;
}

ParsedAnswer ParseWriteAnswer(std::span<const std::uint8_t> answer, int count) {
    ParsedAnswer p = ParseAnswer(answer, count, kFnWriteTable);
    if (p.ok() && !IsWriteAck(answer))
        p.outcome = AnswerOutcome::WrongCount;
    return p;
}

ParsedAnswer CheckAnswer(std::span<const std::uint8_t> answer, int count, std::uint8_t requestFunction) {
    switch (requestFunction) {
    case kFnReadTable:
        return ParseReadAnswer(answer, count);
    case kFnWriteTable:
        return ParseWriteAnswer(answer, count);
    default:
        return ParseAnswerFrame(answer, count);
    }
}

bool IsWriteAck(std::span<const std::uint8_t> answer) {
    return answer.size() > 3 && answer[3] == std::uint8_t(kFnWriteTable | kAnswerBit) &&
           answer[2] == kWriteAckLength;
}

std::size_t BuildTableAnswer(std::span<std::uint8_t> out, std::uint8_t function,
                             std::span<const std::uint8_t> data) {
    const std::size_t n = kReadAnswerOverhead + data.size();
    if (n > 255 || out.size() < n)
        return 0;
    // clang-format off
    const std::uint8_t header[kAnswerDataOffset] = {
        kAnswerStart, kControllerAddress, std::uint8_t(n), std::uint8_t(function | kAnswerBit),
        0, 0, 0, // not looked at by the tool
        std::uint8_t(data.size()),
    };
    // clang-format on
    std::copy(std::begin(header), std::end(header), out.begin());
    std::copy(data.begin(), data.end(), out.begin() + kAnswerDataOffset);
    out[n - 2] = out[n - 1] = 0;
    FrameCrc(out.data(), n);
    return n;
}

} // namespace proto
