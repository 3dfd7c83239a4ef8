#pragma once
// Every file the tool saves is replaced whole or not at all: the bytes go to a temporary file beside the
// target (NAME.XXXXXX), are synced to disk and then renamed over the target. A save killed half-way
// leaves the old file whole and, at worst, its temporary file; the next save of the same target removes
// such leftovers, but never the temporary file of a save still running in another process.
#include <QByteArray>
#include <QString>
#include <functional>

// False with *error set (the system's words) on failure, the target then as it was. beforeReplace, when
// given, is called once the temporary file is complete and synced; false from it abandons the save there.
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error,
                    const std::function<bool()>& beforeReplace = {});
