#pragma once
// What a Link holds, for the link's own code only: everything else goes through Link's calls.
#include "Now_opros.h"

struct LinkState {
    int PortNumber = 0;
    QString chosenPortName; // a device path or short name given for the port; empty: chosen by number
    int RtsControl = 1;
    int LineSpeed = proto::kControllerBaud;
    qint64 PerfFrequency = 0; // 0: the clock's own

    std::array<quint8, kRequestBufferSize> RequestBuffer{};
    std::array<quint8, kAnswerBufferSize> AnswerBuffer{};

    Port* port = nullptr;
    Clock* clock = nullptr;
    QString settingsPath;
    bool saveOnFailedOpen = true;
    LinkUi* ui = nullptr;
    LineTap tap;
    // The last transmission, to tell its read-back on a two-wire line from what the other side sends.
    EchoFilter echo;

    OpenedDevice device;
    std::map<int, QString> portPaths;
    DeviceSource* devices = nullptr;
};

inline LinkState& Inside(Link& link) {
    return *link.state_;
}

inline const LinkState& Inside(const Link& link) {
    return *link.state_;
}
