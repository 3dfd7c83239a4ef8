#pragma once
// The frame trace: what the line tap delivers, one line an event, at debug level of rmz47.link.
#include "LineTap.h"

#include <QString>

// Monotonic seconds, direction, kind, then the count or the bytes in hex (the port events carry text):
// "12.345678 out frame CC FF 0A 01 00 00 00 FF 3E 2B".
QString TraceLine(const LineEvent& event);
