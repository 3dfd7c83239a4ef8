#pragma once
// Putting the imitation's answer on the line. The flow request and answer frames are rmz_proto's
// (FlowFrames.h).
#include "ImitSettings.h"

#include <QString>
#include <QtGlobal>

class Link;

// RTS hold for an answer of `length` bytes after its FF byte: 10 bits per byte plus one bit, in ticks
// of a counter running at `frequency` Hz, at `baud` bit/s.
quint64 AnswerHoldTicks(int length, int baud, qint64 frequency);

// Puts an answer on the line through Transmit: one FF ahead of it, RTS switched whatever RtsControl says
// (a flow computer's line is two-wire) and held for the answer's line time at link.LineSpeed().
void SendAnswer(Link& link, const quint8* answer, int length = proto::kFlowAnswerSize);

// The imitation dialog's words for a value it refuses.
namespace ImitText {
inline constexpr const char16_t* NotPositive = u"Значение должно быть больше нуля! ";
// A flow that would go on the line as infinity (as the flow or, within 49.7 days, as the volume).
inline constexpr const char16_t* FlowTooLarge = u"Значение расхода слишком велико! ";
} // namespace ImitText

// Why a flow in m3/h cannot be imitated, in the dialog's words; empty when it can. The dialog, the check
// plans and the command line all ask here.
QString ImitFlowProblem(double flowM3h);
