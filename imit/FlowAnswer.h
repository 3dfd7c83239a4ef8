#pragma once
// Putting the imitation's answer on the line. The flow request and answer frames are rmz_proto's
// (FlowFrames.h).
#include "ImitSettings.h"

#include <QtGlobal>

class Link;

// RTS hold for an answer of `length` bytes after its FF byte: 10 bits per byte plus one bit, in ticks
// of a counter running at `frequency` Hz, at `baud` bit/s.
quint64 AnswerHoldTicks(int length, int baud, qint64 frequency);

// Puts an answer on the line through Transmit: one FF ahead of it, RTS switched whatever RtsControl says
// (a flow computer's line is two-wire) and held for the answer's line time at link.LineSpeed().
void SendAnswer(Link& link, const quint8* answer, int length = proto::kFlowAnswerSize);
