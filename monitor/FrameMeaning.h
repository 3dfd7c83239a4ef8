#pragma once
// What a frame on the line means, in the operator's words: the tool's table reads and writes, the
// controller's answers with their contents (version, state, configuration fields with names and units),
// the controller's flow requests and the tool's answers with flow and volume.
#include "ControllerFrames.h"
#include "FlowFrames.h"
#include "LineRow.h"

#include <QString>
#include <span>

namespace monitor {

struct Meaning {
    RowKind kind = RowKind::Fault;
    QString text;
};

// "байт" in the form that agrees with the count before it: "1 байт", "2 байта", "5 байт".
QString ByteNoun(qint64 n);

// The tool's request to the controller (CC FF N fn ...).
Meaning DescribeControllerRequest(std::span<const quint8> frame);

// What the tool last asked the controller: an answer is read against it.
struct AskedTable {
    quint8 function = 0; // 0: nothing asked yet
    quint8 table = 0;
};
AskedTable AskedBy(std::span<const quint8> request);

// The controller's answer (33 FF N fn|80 ...) to `asked`, as the link's one parse found it (the tap's
// outcome); a frame that failed a check is a fault.
Meaning DescribeControllerAnswer(std::span<const quint8> frame, AskedTable asked,
                                 proto::AnswerOutcome outcome);

// The fields of a table 4 image (20, 21 or 23 bytes) with their names and units.
QString ConfigurationText(std::span<const quint8> data);

// A flow request (7 bytes) and a flow computer's answer (23 bytes). The answer's floats are read in the
// byte order of the imitated run it came from, most significant first when no slot has that run.
Meaning DescribeFlowRequest(std::span<const quint8> frame, bool crcOk);
Meaning DescribeFlowAnswer(std::span<const quint8> frame, const proto::FlowSlots* flowSlots);
// A flow answer whose floats are in the byte order given (a line the tool only listens to).
Meaning DescribeFlowAnswerIn(std::span<const quint8> frame, bool msbFirst);

} // namespace monitor
