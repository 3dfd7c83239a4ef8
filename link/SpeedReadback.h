#pragma once
// The line speed a serial driver really set, read back from the descriptor. A driver may round a speed
// its clock cannot divide down to, or keep the old one, without failing the call that set it.
#include <QtGlobal>

// Output speed in bit/s of the terminal open on `fd`; 0 when it cannot be read.
qint32 ReadBackBaud(int fd);

// True when `actual` misses `requested` by more than 2 %, the most a UART frame tolerates between two
// ends; an unknown speed (0) is not reported.
bool SpeedMissed(qint32 requested, qint32 actual);
