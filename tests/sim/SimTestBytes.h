#pragma once
// Hex helpers and a CRC of the tests' own, so the expected bytes do not come from the code under test.
#include "SimFaults.h"

#include <string>

inline sim::Bytes H(const std::string& hex) {
    sim::Bytes out;
    int nib = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            continue;
        if (nib < 0)
            nib = v;
        else {
            out.push_back(std::uint8_t(nib * 16 + v));
            nib = -1;
        }
    }
    return out;
}

// CRC-16/MODBUS, table-free, as a second opinion.
inline std::uint16_t RefCrc(const sim::Bytes& b, std::size_t n) {
    std::uint16_t r = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        r ^= b[i];
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? std::uint16_t((r >> 1) ^ 0xA001) : std::uint16_t(r >> 1);
    }
    return r;
}

// Appends the CRC, low byte first.
inline sim::Bytes WithCrc(sim::Bytes b) {
    const std::uint16_t c = RefCrc(b, b.size());
    b.push_back(std::uint8_t(c & 0xFF));
    b.push_back(std::uint8_t(c >> 8));
    return b;
}
