#pragma once
// Tap events written as a test reads them: hex bytes, times in milliseconds.
#include "LineTap.h"
#include "ProtoTestBytes.h"

#include <QString>
#include <ostream>
#include <vector>

// Russian texts readable in a failure.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

inline QByteArray Q(const Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

inline LineEvent Ev(LineEventKind kind, LineDirection d, qint64 ms, const char* hex = "", int count = 0) {
    return LineEvent{kind, d, ms * 1000, Q(Hex(hex)), count};
}

// The line's bytes one event a byte, as the imitation records them, `stepMs` apart.
inline std::vector<LineEvent> BytesIn(qint64 ms, const char* hex, qint64 stepMs = 0) {
    std::vector<LineEvent> out;
    for (std::uint8_t b : Hex(hex)) {
        out.push_back(
            LineEvent{LineEventKind::Bytes, LineDirection::In, ms * 1000, QByteArray(1, char(b)), 0});
        ms += stepMs;
    }
    return out;
}

inline std::vector<LineEvent> Join(std::initializer_list<std::vector<LineEvent>> parts) {
    std::vector<LineEvent> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
