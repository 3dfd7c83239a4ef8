#pragma once
// The RMZ-47 controller protocol: frame CRC, request completion and exchange, answer checks, the table
// read and write requests, and the line-speed table shared with the imitation.
#include "Now_opros.h"

#include <QtGlobal>
#include <cstddef>

class QObject;

// CRC-16/MODBUS: width 16, poly 0x8005 reflected (0xA001), init 0xFFFF, no final xor; "123456789" -> 0x4B37.
quint16 Crc16Modbus(const quint8* data, std::size_t n);

// Check-or-fill over a frame whose length N is byte 2: true when bytes N-2, N-1 hold the CRC of bytes
// 0..N-3 (low byte first). Otherwise writes it there and returns false. A frame with N < 5, or with N
// larger than size (the bytes available), is refused: false, nothing written.
bool FrameCrc(quint8* frame, std::size_t size);

// True when count >= the frame's length byte and its CRC is right.
bool CheckAnswer(quint8* frame, std::size_t size, int count);

// Completes the request in RequestBuffer (address byte when it starts 0xCC, CRC) and sends it with
// SendFrame. A length byte of 0 is refused: link.showBadRequest(owner) when installed, false, nothing sent.
bool SendRequest(Link& link, QObject* owner);
// SendRequest, then ReceiveFrame(500, 500, 0x33, pumpMessages). The answer's byte count, 0 for none.
int Transact(Link& link, QObject* owner, bool pumpMessages);

constexpr quint8 kRequestStart = 0xCC;
constexpr quint8 kAnswerStart = 0x33;
constexpr quint8 kFnReadTable = 0x01;
constexpr quint8 kFnWriteTable = 0x02;

constexpr int kReadRequestLength = 10;
constexpr int kWriteRequestOverhead = 26;  // header 24 + CRC 2
constexpr int kMaxWriteCount = 255 - kWriteRequestOverhead;
constexpr int kReadAnswerOverhead = 10;    // header 8 + CRC 2: the data of a read answer are N - 10 bytes
constexpr int kAnswerDataOffset = 8;

// Builds a ReadTable request (N = 10) for table t in RequestBuffer, first field 0, all fields (0xFF).
// The CRC bytes are left zero: SendRequest fills them in.
void BuildReadRequest(Link& link, quint8 table);
// Builds a WriteTable request (N = 26 + count) for table t, first field 0, CRC left to SendRequest.
// Refuses (false, buffer untouched) a count that would not fit the one-byte length (0..229).
bool BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count);

// The answer checks in their order. Steps 1-3: count non-zero, length byte >= 6 (before the CRC is
// looked at), CheckAnswer. A write is retried only while these fail.
bool AnswerFrameValid(Link& link, int count);
// Steps 1-4: the above, then the function code of the request with bit 7 set.
bool AnswerPassesCommonChecks(Link& link, int count, quint8 requestFunction);
// Read answers: common checks, then byte 7 non-zero and equal to N - 10.
bool ReadAnswerOk(Link& link, int count);
// N - 10 of the answer in AnswerBuffer (negative for a frame too short to be a read answer).
int AnswerDataLength(const Link& link);
// Write answers that passed AnswerFrameValid: the acknowledgement is function 0x82 with N = 10.
bool WriteAnswerIsAck(const Link& link);

// Line-speed table: speed index 0..10 <-> baud <-> controller speed code. Out-of-table values give the
// 1200 row.
struct LineSpeedRow {
    int index;
    int baud;
    int code;
};
extern const LineSpeedRow LineSpeedTable[11];
int SpeedIndexToBaud(int index);
int SpeedIndexToCode(int index);
int SpeedCodeToIndex(int code);
