#pragma once
// The RMZ-47 controller protocol on the program's link: requests built into RequestBuffer, completed and
// exchanged, answers in AnswerBuffer checked. The frames themselves (CRC, builders, answer parsing, the
// line-speed table) are rmz_proto's; these are their names on the Link.
#include "Now_opros.h"

#include "ControllerFrames.h"
#include "Crc16.h"
#include "LineSpeed.h"

#include <QtGlobal>

class QObject;

using proto::Crc16Modbus;
using proto::FrameCrc;

using proto::kAnswerDataOffset;
using proto::kAnswerStart;
using proto::kFnReadTable;
using proto::kFnWriteTable;
using proto::kMaxWriteCount;
using proto::kReadAnswerOverhead;
using proto::kReadRequestLength;
using proto::kRequestStart;
using proto::kWriteRequestOverhead;

using proto::LineSpeedRow;
using proto::LineSpeedTable;
using proto::SpeedCodeToIndex;
using proto::SpeedIndexToBaud;
using proto::SpeedIndexToCode;

// Does two things: completes the request in RequestBuffer (address byte when it starts 0xCC, CRC) and
// sends it with SendFrame. A length byte of 0 is refused: the "Bad request" box through link.ui, false,
// nothing sent.
bool SendRequest(Link& link, QObject* owner);
// Does two things: SendRequest, then ReceiveFrame(500, 500, 0x33, pumpMessages). The answer's byte count,
// 0 for none.
int Transact(Link& link, QObject* owner, bool pumpMessages);

// A ReadTable request (N = 10) for table t in RequestBuffer, first field 0, all fields (0xFF).
// The CRC bytes are left zero: SendRequest fills them in.
void BuildReadRequest(Link& link, quint8 table);
// A WriteTable request (N = 26 + count) for table t, first field 0, CRC left to SendRequest.
// Refuses (false, buffer untouched) a count that would not fit the one-byte length (0..229).
bool BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count);

// The answer in AnswerBuffer, `count` being what Transact returned. The frame checks: an answer came,
// its length byte is at least 6 (judged before the CRC) and it is whole with its CRC right. Only while
// these fail is a write tried again: any other answer is the controller's word on it.
bool AnswerFrameValid(const Link& link, int count);
// The frame checks, then the function of the request with bit 7 set.
bool AnswerPassesCommonChecks(const Link& link, int count, quint8 requestFunction);
// Read answers: the checks above, then byte 7 non-zero and equal to N - 10.
bool ReadAnswerOk(const Link& link, int count);
// N - 10 of the answer in AnswerBuffer (negative for a frame too short to be a read answer).
int AnswerDataLength(const Link& link);
// Write answers that passed AnswerFrameValid: the acknowledgement is function 0x82 with N = 10.
bool WriteAnswerIsAck(const Link& link);
