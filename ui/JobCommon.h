#pragma once
// What every job shares beside its view, without widgets: the operator's stop request, the texts of the
// status panels and of the standard exception box, and the port's device and the failed saves told to the
// view. The windows' own helpers are in UiCommon.h.
#include "JobView.h"

#include <QStringList>
#include <functional>

class Link;

// The stop request of a running job (the imitation, the bench check): set by the Esc hook, the Stop
// button or a console's signal, read by the job's loop.
struct StopControl {
    quint8 StopRequested = 0;
    // Called after StopRequested was set, so that a waiting loop wakes at once: the imitation loop sets
    // it for its run and clears it afterwards.
    std::function<void()> onStopRequested;
    void requestStop() {
        StopRequested = 1;
        if (onStopRequested)
            onStopRequested();
    }
};

// Application title: the program file name after the last path separator, up to the first dot, every
// character after the first in lower case.
QString ApplicationTitle();
QString ApplicationTitleFrom(const QString& programPath);

// The standard exception box's text: a full stop is appended when the text's last character has a code
// greater than that of '.'.
QString ExceptionBoxText(const QString& message);

// Rewrites the status panels (address, port, RTS mode, 1200 bit/s) from the link's state, and names the
// port's device in the port panel's tooltip.
void UpdateStatusLabels(JobView& view, const Link& link);
// Names the port's device in that tooltip as it is now: the device opened (lost, or back under another
// node), else the one the port is mapped to.
void ShowPortDevice(JobView& view, const Link& link);
// The saves a job could not make at its end (the journal), in one warning after the job's last message;
// nothing when there are none. A failed save stops nothing.
void TellFailedSaves(JobView& view, const QStringList& problems);

// Status panel texts.
QString AddressStatusText();
QString PortStatusText(int portNumber);
QString RtsStatusText(int rtsControl);
QString SpeedStatusText(int baud);
