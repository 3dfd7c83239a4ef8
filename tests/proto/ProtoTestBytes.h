#pragma once
// Frames written as hex text in the tests ("33 FF 0A ..."; blanks are ignored).
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Frame = std::vector<std::uint8_t>;

inline Frame Hex(const std::string& text) {
    Frame out;
    int high = -1;
    for (char c : text) {
        const int v = (c >= '0' && c <= '9')   ? c - '0'
                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                      : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                               : -1;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(std::uint8_t(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline Frame Cat(std::initializer_list<Frame> parts) {
    Frame out;
    for (const Frame& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
