#pragma once
// The controller's software version as the operator reads it: in the configure job's message and in the
// line monitor's row for the identification table.
#include <QString>

// "Версия ПО 3 (выдача импульсов по расходу)"; every version other than 3 emits pulses by volume.
QString VersionMessage(quint8 softVersion);
