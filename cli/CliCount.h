#pragma once
// The count a check step asks for on standard input: a whole number of pulses, asked again with the
// reason after a slip. Ctrl+C or a hang-up while it waits ends the wait at once, as does the end of
// input (Ctrl+D, a closed pipe): the check is then aborted, never judged on a guess.
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// prompt: the question before each attempt. stopFd: a descriptor that becomes readable when a stop
// signal arrived (StopOnSignals::wakeFd); stopped: whether the check was told to stop, asked after the
// event loop has had its turn. Nothing when the check is to be aborted.
std::optional<qint64> AskCount(const QString& prompt, int stopFd, const std::function<bool()>& stopped);

// Why a typed text is no count ("«1,5» — не целое число импульсов"); empty for a count.
QString CountProblem(const QString& text);
