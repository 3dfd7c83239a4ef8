#pragma once
// The RMZ-47 controller's frames: start byte, address 0xFF, length N (CRC included), function, body, CRC
// low byte first. The tool asks with 0xCC and three 0xFF ahead of the frame; the controller answers with
// 0x33, found behind a 0xFF. Requests are built into the caller's buffer, answers parsed from a byte span
// into what was found.
#include <cstddef>
#include <cstdint>
#include <span>

namespace proto {

constexpr std::uint8_t kRequestStart = 0xCC;
constexpr std::uint8_t kAnswerStart = 0x33;
constexpr std::uint8_t kControllerAddress = 0xFF; // the only address the controller answers on
constexpr std::uint8_t kPreambleByte = 0xFF;
constexpr int kRequestPreamble = 3; // 0xFF bytes ahead of every request
constexpr std::uint8_t kFnReadTable = 0x01;
constexpr std::uint8_t kFnWriteTable = 0x02;
constexpr std::uint8_t kAnswerBit = 0x80; // an answer carries its request's function with this bit set

constexpr int kReadRequestLength = 10;
constexpr int kWriteRequestOverhead = 26; // header 24 + CRC 2
constexpr int kWriteDataOffset = 24;
constexpr int kMaxWriteCount = 255 - kWriteRequestOverhead; // the length byte is one byte
constexpr int kReadAnswerOverhead = 10; // header 8 + CRC 2: the data of a read answer are N - 10 bytes
constexpr int kAnswerDataOffset = 8;
constexpr int kAnswerCountByte = 7;
constexpr int kWriteAckLength = 10; // an acknowledgement carries no data
// Shortest answer whose function byte means anything: below it the CRC would be taken over no frame.
constexpr int kMinAnswerLength = 6;

// Read request for table t, first field 0, all fields (0xFF): 10 bytes into out, CRC bytes left zero
// (CompleteRequest fills them). Returns the length, 0 when out is shorter than 10 (nothing written).
std::size_t BuildReadRequest(std::span<std::uint8_t> out, std::uint8_t table);
// Write request (N = 26 + count) for table t, first field 0, CRC bytes left zero. Returns N; 0 (nothing
// written) when the count does not fit the length byte (0..229) or out is shorter than N.
std::size_t BuildWriteRequest(std::span<std::uint8_t> out, std::uint8_t table,
                              std::span<const std::uint8_t> data);

// Makes a built request ready for the line: the controller's address whenever it starts 0xCC (whatever
// the builder left there), then the CRC. Returns N, or 0 for a length byte of 0 (a bad request: nothing
// may be sent) or a frame that does not fit the span.
int CompleteRequest(std::span<std::uint8_t> frame);

// What an answer turned out to be, in the order the checks run: the first failed check wins.
enum class AnswerOutcome {
    Ok,
    Silence,       // count 0: nothing started
    BadLength,     // length byte below 6, judged before the CRC is looked at
    CutShort,      // fewer bytes than the length byte
    BadCrc,        // complete, but its CRC is wrong
    WrongFunction, // not the request's function with bit 7 set
    WrongCount,    // read: byte 7 is 0 or not N - 10; write: N is not 10
};

// Silence, BadLength, CutShort, BadCrc: the frame never arrived whole and sound. A write is retried on
// these only; an answer that arrived but says something else is final.
bool IsFrameFault(AnswerOutcome outcome);
// The outcome's name in the journal and the frame trace: "ok", "silence", "bad-crc", ...
const char* OutcomeName(AnswerOutcome outcome);

struct ParsedAnswer {
    AnswerOutcome outcome = AnswerOutcome::Silence;
    int length = 0;                     // N, once it could be read (0 otherwise)
    std::uint8_t function = 0;          // byte 3, once the frame passed the frame checks
    std::span<const std::uint8_t> data; // read answers: the N - 10 data bytes (empty otherwise)
    bool ok() const { return outcome == AnswerOutcome::Ok; }
};

// The frame checks alone: count (what the receiver returned) non-zero, length byte >= 6, count >= N and
// the CRC right. Never writes into the answer.
ParsedAnswer ParseAnswerFrame(std::span<const std::uint8_t> answer, int count);
// The frame checks, then the function of `requestFunction` with bit 7 set.
ParsedAnswer ParseAnswer(std::span<const std::uint8_t> answer, int count, std::uint8_t requestFunction);
// A table read's answer: ParseAnswer for 0x01, then byte 7 non-zero and equal to N - 10; data set.
ParsedAnswer ParseReadAnswer(std::span<const std::uint8_t> answer, int count);
// A table write's answer: ParseAnswer for 0x02, then N = 10 (the acknowledgement).
ParsedAnswer ParseWriteAnswer(std::span<const std::uint8_t> answer, int count);
// Every check of an answer to a request of `requestFunction`, in the order they run: a table read's or a
// table write's, or the frame checks alone for any other function. The one parse a received answer gets.
ParsedAnswer CheckAnswer(std::span<const std::uint8_t> answer, int count, std::uint8_t requestFunction);
// The acknowledgement's bytes alone (function 0x82, N = 10), for a frame that already passed its checks.
bool IsWriteAck(std::span<const std::uint8_t> answer);

// The controller's answer: 33 FF N fn|0x80 00 00 00 count data CRC (N = 10 + count); a write is
// acknowledged with no data. Returns N; 0 (nothing written) when it does not fit out or the length byte.
std::size_t BuildTableAnswer(std::span<std::uint8_t> out, std::uint8_t function,
                             std::span<const std::uint8_t> data);

} // namespace proto
