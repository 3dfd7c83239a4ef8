#pragma once
// Putting the imitation's answer on the line. The flow request and answer frames are rmz_proto's
// (FlowFrames.h); their names are brought in here for the imitation loop.
#include "ImitSettings.h"

#include <QtGlobal>

struct Link;

using proto::BuildFlowAnswer;
using proto::FlowFitsAnswer;
using proto::FlowRecogniser;
using proto::ImitVolume;
using proto::kFlowAnswerSize;
using proto::kFlowIdleMs;
using proto::kFlowRequestSize;
using proto::MatchSlot;

// The former name of BuildFlowAnswer, kept only until the imitation loop calls BuildFlowAnswer.
inline float BuildAnswer(const quint8* request, quint8* answer, int slot, const ImitSettings& imit,
                         quint32 elapsedMs) {
    return BuildFlowAnswer(std::span<const quint8, kFlowRequestSize>(request, kFlowRequestSize),
                           std::span<quint8, kFlowAnswerSize>(answer, kFlowAnswerSize), slot, imit,
                           elapsedMs);
}

// RTS hold for an answer of `length` bytes after its FF byte: 10 bits per byte plus one bit, in ticks
// of a counter running at `frequency` Hz, at `baud` bit/s.
quint64 AnswerHoldTicks(int length, int baud, qint64 frequency);

// Puts an answer on the line: purge, RTS up (whatever RtsControl says; a refusal is ignored), FF and
// the answer, RTS held for the hold time at link.LineSpeed on the high-resolution counter (busy wait),
// RTS down, output drained, purge. Nothing happens without an open port.
void SendAnswer(Link& link, const quint8* answer, int length = kFlowAnswerSize);
