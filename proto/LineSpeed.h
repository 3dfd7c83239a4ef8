#pragma once
// The line speeds of the configuration's runs and of the imitation, in the order of their radio items:
// speed index 0..10 <-> baud <-> the speed code stored in the controller's record. Out-of-table values
// give the 1200 row, the controller's own speed.
namespace proto {

struct LineSpeedRow {
    int index;
    int baud;
    int code;
};

inline constexpr LineSpeedRow LineSpeedTable[11] = {
    {0, 600, 1},   {1, 1200, 2},  {2, 2400, 3},   {3, 3200, 4},   {4, 4800, 6},    {5, 6400, 8},
    {6, 7680, 10}, {7, 9600, 11}, {8, 12800, 13}, {9, 19200, 15}, {10, 38400, 18},
};
constexpr int kControllerBaud = 1200;
constexpr int kFallbackSpeedIndex = 1;

constexpr int SpeedIndexToBaud(int index) {
    return (index >= 0 && index <= 10) ? LineSpeedTable[index].baud : kControllerBaud;
}

constexpr int SpeedIndexToCode(int index) {
    return (index >= 0 && index <= 10) ? LineSpeedTable[index].code
                                       : LineSpeedTable[kFallbackSpeedIndex].code;
}

constexpr int SpeedCodeToIndex(int code) {
    for (const auto& row : LineSpeedTable)
        if (row.code == code)
            return row.index;
    return kFallbackSpeedIndex;
}

} // namespace proto
