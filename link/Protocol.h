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

bool SendRequest(Link& link, QObject* owner);
int Transact(Link& link, QObject* owner, bool pumpMessages);

constexpr quint8 kRequestStart = 0xCC;
constexpr quint8 kAnswerStart = 0x33;
constexpr quint8 kFnReadTable = 0x01;
constexpr quint8 kFnWriteTable = 0x02;

// Builds a ReadTable request (N = 10) for table t in RequestBuffer (CRC filled in by SendRequest).
void BuildReadRequest(Link& link, quint8 table);
// Builds a WriteTable request (N = 26 + count) for table t, first field 0.
void BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count);

// The answer checks in their order: count non-zero, length byte >= 6, CheckAnswer, function code with
// bit 7 set. Function-specific checks follow in the callers.
bool AnswerPassesCommonChecks(Link& link, int count, quint8 requestFunction);
// Read answers: common checks, then byte 7 non-zero and equal to N - 10.
bool ReadAnswerOk(Link& link, int count);
// Write answers: the acknowledgement is function 0x82 with N = 10.

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
