#include "Protocol.h"

#include "LinkUi.h"

#include <algorithm>
#include <cstring>

// CRC-16/MODBUS: width 16, poly 0xA001 (0x8005 reflected), init 0xFFFF, no final xor.
quint16 Crc16Modbus(const quint8* data, std::size_t n) {
    quint16 r = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? quint16((r >> 1) ^ 0xA001) : quint16(r >> 1);
    }
    return r;
}

bool FrameCrc(quint8* frame, std::size_t size) {
    // The length byte sits at offset 2; a frame needs at least start, address, length and the two CRC
    // bytes. Anything shorter, or longer than the buffer holds, would make the CRC position point outside
    // the frame: refuse it untouched.
    if (frame == nullptr || size < 3)
        return false;
    const std::size_t n = frame[2];
    if (n < 5 || n > size)
        return false;
    const quint16 crc = Crc16Modbus(frame, n - 2);
    const quint8 lo = quint8(crc & 0xFF), hi = quint8(crc >> 8); // low byte first on the wire
    if (frame[n - 2] == lo && frame[n - 1] == hi)
        return true;
    frame[n - 2] = lo;
    frame[n - 1] = hi;
    return false;
}

bool CheckAnswer(quint8* frame, std::size_t size, int count) {
    if (frame == nullptr || size < 3 || count < 0)
        return false;
    // ReceiveFrame returns the length byte once the frame is complete and less when it gave up, so a
    // count below the length byte is a frame cut short.
    if (count < int(frame[2]))
        return false;
    return FrameCrc(frame, size);
}

bool SendRequest(Link& link, QObject* owner) {
    auto& req = link.RequestBuffer;
    const int n = req[2];
    if (n == 0) {
        if (link.ui)
            link.ui->showBadRequest(owner);
        return false;
    }
    // Requests go to the controller's fixed address whatever the builder left there.
    if (req[0] == kRequestStart)
        req[1] = kControllerAddress;
    FrameCrc(req.data(), req.size());
    SendFrame(link, n);
    return true;
}

int Transact(Link& link, QObject* owner, bool pumpMessages) {
    if (!SendRequest(link, owner))
        return 0;
    // 500 ms for the first answer byte, 500 ms of silence ends a started frame.
    return ReceiveFrame(link, 500, 500, kAnswerStart, pumpMessages);
}

void BuildReadRequest(Link& link, quint8 table) {
    auto& r = link.RequestBuffer;
    const quint8 frame[kReadRequestLength] = {
        kRequestStart, kControllerAddress, kReadRequestLength, kFnReadTable,
        0x00,          // always 0
        table,
        0x00,          // first field
        0xFF,          // number of fields: all of them
        0x00, 0x00,    // CRC, completed when the request is sent
    };
    std::memcpy(r.data(), frame, sizeof frame);
}

bool BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count) {
    // The length byte is one byte: 26 bytes of framing plus the data must stay within 255.
    if (count < 0 || count > kMaxWriteCount || (count > 0 && data == nullptr))
        return false;
    auto& r = link.RequestBuffer;
    const int n = kWriteRequestOverhead + count;
    std::fill(r.begin(), r.begin() + n, quint8(0));
    r[0] = kRequestStart;
    r[1] = kControllerAddress;
    r[2] = quint8(n);
    r[3] = kFnWriteTable;
    // 4..20 stay zero
    r[21] = table;
    r[22] = 0x00; // first field
    r[23] = quint8(count);
    if (count > 0)
        std::memcpy(r.data() + 24, data, std::size_t(count));
    // n-2, n-1: CRC, completed when the request is sent
    return true;
}

bool AnswerFrameValid(Link& link, int count) {
    auto& a = link.AnswerBuffer;
    if (count <= 0)
        return false;
    // The length byte is judged before the CRC: a frame shorter than 6 cannot carry a function code and
    // its CRC would be taken over a frame that is not one.
    if (a[2] < 6)
        return false;
    return CheckAnswer(a.data(), a.size(), count);
}

bool AnswerPassesCommonChecks(Link& link, int count, quint8 requestFunction) {
    if (!AnswerFrameValid(link, count))
        return false;
    return link.AnswerBuffer[3] == quint8(requestFunction | 0x80);
}

int AnswerDataLength(const Link& link) {
    return int(link.AnswerBuffer[2]) - kReadAnswerOverhead;
}

bool ReadAnswerOk(Link& link, int count) {
    if (!AnswerPassesCommonChecks(link, count, kFnReadTable))
        return false;
    const int dataCount = link.AnswerBuffer[7];
    return dataCount != 0 && dataCount == AnswerDataLength(link);
}

bool WriteAnswerIsAck(const Link& link) {
    return link.AnswerBuffer[3] == quint8(kFnWriteTable | 0x80) && link.AnswerBuffer[2] == 10;
}

const LineSpeedRow LineSpeedTable[11] = {
    {0, 600, 1},   {1, 1200, 2},  {2, 2400, 3},   {3, 3200, 4},   {4, 4800, 6},    {5, 6400, 8},
    {6, 7680, 10}, {7, 9600, 11}, {8, 12800, 13}, {9, 19200, 15}, {10, 38400, 18},
};

// Anything outside the table falls back to the 1200-baud row, the controller's own speed.
int SpeedIndexToBaud(int index) {
    return (index >= 0 && index <= 10) ? LineSpeedTable[index].baud : 1200;
}

int SpeedIndexToCode(int index) {
    return (index >= 0 && index <= 10) ? LineSpeedTable[index].code : 2;
}

int SpeedCodeToIndex(int code) {
    for (const auto& row : LineSpeedTable)
        if (row.code == code)
            return row.index;
    return 1;
}
