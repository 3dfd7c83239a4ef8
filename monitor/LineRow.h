#pragma once
// One row of the line monitor: a frame as it passed the tap, or a fault found on the line, with what it
// means in the operator's words.
#include "LineTap.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace monitor {

enum class RowKind : quint8 {
    Request, // a request: the tool's to the controller, or the controller's to a flow computer
    Answer,  // an answer: the controller's, or the tool's in place of a flow computer
    Fault,   // bad checksum, cut frame, noise, silence, request not imitated, echo
};

// What a row holds, for whoever sorts the rows by machine rather than by their meaning's words.
enum class RowCause : quint8 {
    Other,
    ControllerRequest,
    ControllerAnswer,
    FlowRequest,
    FlowAnswer,
    BadCrc,
    CutShort,
    Noise,
    PortLost,
    PortBack,
};

// Whose line it is: the tool asks the controller, or the controller asks the imitated flow computers.
enum class LineRole : quint8 { Unknown, Controller, Imitation };

struct LineRow {
    qint64 timeUs = 0; // monotonic, as the tap took it
    qint64 wallMs = 0; // time of day, ms since the epoch
    qint64 gapUs = -1; // from the previous row; -1 for the first
    RowKind kind = RowKind::Fault;
    LineDirection direction = LineDirection::In;
    LineRole role = LineRole::Unknown;
    QByteArray bytes;
    QString meaning;
    RowCause cause = RowCause::Other;
};

// The columns as shown, copied and saved.
QString TimeText(const LineRow& row); // "14:03:07.125"
QString GapText(const LineRow& row);  // "+0,512 с", "+1 мин 47,880 с", empty for the first row
QString DurationText(qint64 ms);      // "0,512 с", "1 мин 47,880 с"
QString DirectionText(const LineRow& row); // "к контроллеру", "от контроллера", "запрос", "ответ"
QString HexText(const QByteArray& bytes); // "CC FF 0A 01 …"
// All columns separated by tabs, as one line of a saved file.
QString RowLine(const LineRow& row);

// Where and when the rows of a saved file were taken, for whoever reads the file later.
struct SaveOrigin {
    QString program; // the tool's version
    int portNumber = 0;
    QString device;
    int baud = 0;
    QDateTime saved;
};
// The lines a saved file starts with (program, port and device, speed, date), then an empty line.
QString SavedHeader(const SaveOrigin& origin);

} // namespace monitor
