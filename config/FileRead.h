#pragma once
// The tool's own small files (configurations, check plans) read from whatever the operator names: a
// file, a pipe, a device or standard input ("-"), never more than a limit, with the system's reasons
// in Russian.
#include <QByteArray>
#include <QString>
#include <optional>

// A configuration or plan is a few kilobytes; anything past this is not one and is not read on.
inline constexpr qint64 kOwnFileLimit = 1 << 20;

// "-" names standard input for reading and standard output for writing.
bool IsStandardStream(const QString& path);

// The bytes at path, at most limit of them: the read stops after limit + 1 bytes, so that a device that
// never ends (/dev/zero) or a pipe is refused as a large file is. Nothing when it cannot be read, with
// *error saying why ("нет такого файла", "это папка", "больше 1 МиБ").
std::optional<QByteArray> ReadLimitedFile(const QString& path, qint64 limit, QString* error);

// The system's reason for a failed file or device call, in Russian for the errors an operator meets
// (missing, a folder, no permission, busy, no space, read-only, not a serial port); others in the
// system's own words.
QString SystemReason(int errorNumber);
