#pragma once
// The RMZ-47 controller protocol on the program's link: requests built into RequestBuffer, completed and
// exchanged, each answer parsed once into what it turned out to be. The frames themselves (CRC, builders,
// the answer's checks, the line-speed table) are rmz_proto's.
#include "Now_opros.h"

#include "ControllerFrames.h"
#include "Crc16.h"

#include <QtGlobal>
#include <span>

class QObject;

// A fault of the link itself, apart from what came over the line.
enum class LinkFault : quint8 {
    None,
    BadRequest, // a length byte of 0: refused, nothing sent
    PortLost,   // the device went away and is not back: nothing could go out or come in
};

// One exchange: the link's fault, else the answer's one parse against the request's function.
struct Reply {
    LinkFault fault = LinkFault::None;
    int count = 0; // what ReceiveFrame returned (0 when nothing was sent)
    proto::ParsedAnswer answer;
    bool ok() const { return fault == LinkFault::None && answer.ok(); }
    // The answer never arrived whole and sound (or the link failed): worth another attempt even where
    // an answer that arrived is final.
    bool frameFault() const { return fault != LinkFault::None || proto::IsFrameFault(answer.outcome); }
};

// Does two things: completes the request in RequestBuffer (address byte when it starts 0xCC, CRC) and
// sends it with SendFrame. A length byte of 0 is refused: the "Bad request" box through link.ui, false,
// nothing sent.
bool SendRequest(Link& link, QObject* owner);
// SendRequest, then ReceiveFrame(500, 500, 0x33, pumpMessages), the answer checked once against the
// request's function. A device lost under the exchange is the link's fault, not the answer's.
Reply Exchange(Link& link, QObject* owner, bool pumpMessages);
// Exchange's byte count: the answer's, 0 for none.
int Transact(Link& link, QObject* owner, bool pumpMessages);

// Reads table t (first field 0, all fields), the windows served while the answer is awaited; the answer's
// data are the table's fields.
Reply ReadTable(Link& link, QObject* owner, quint8 table);
// Writes `data` into table t from field 0; no window message is dispatched while the answer is awaited.
// A count that would not fit the one-byte length (0..229) is a bad request: nothing sent, no box.
Reply WriteTable(Link& link, QObject* owner, quint8 table, std::span<const quint8> data);

// A ReadTable request (N = 10) for table t in RequestBuffer, first field 0, all fields (0xFF).
// The CRC bytes are left zero: SendRequest fills them in.
void BuildReadRequest(Link& link, quint8 table);
// A WriteTable request (N = 26 + count) for table t, first field 0, CRC left to SendRequest.
// Refuses (false, buffer untouched) a count that would not fit the one-byte length (0..229).
bool BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count);

// The outcome's name in the journal and the monitor's counters: "ok", "silence", "cut-short", ...
const char* OutcomeName(const Reply& reply);
