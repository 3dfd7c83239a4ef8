#include "Protocol.h"

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
    if (size < 3)
        return false;
    const std::size_t n = frame[2];
    if (n < 5 || n > size)
        return false;
    const quint16 crc = Crc16Modbus(frame, n - 2);
    const quint8 lo = quint8(crc & 0xFF), hi = quint8(crc >> 8);
    if (frame[n - 2] == lo && frame[n - 1] == hi)
        return true;
    frame[n - 2] = lo;
    frame[n - 1] = hi;
    return false;
}

const LineSpeedRow LineSpeedTable[11] = {
    {0, 600, 1},    {1, 1200, 2},   {2, 2400, 3},   {3, 3200, 4},    {4, 4800, 6},    {5, 6400, 8},
    {6, 7680, 10},  {7, 9600, 11},  {8, 12800, 13}, {9, 19200, 15},  {10, 38400, 18},
};

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
