#pragma once
// A device that goes away under the open port (an adapter pulled, a pty peer gone) and comes back. The
// loss is told once, on the program's standard error and to the line tap; the device is opened again
// quietly: no box, no change of the port number, nothing saved, unlike an open the operator asked for.
#include <QString>
#include <QStringList>

class Link;

// What follows every open of the link's port under `path`: DTR up, both queues and the echo filter
// emptied, the device recorded with its stable name and the stamps of both.
void TakeUpOpenedPort(Link& link, const QString& path);

// True while the port's device is lost; the first call after the loss reports it.
bool NoticePortLoss(Link& link);
// Opens the lost device again at LineSpeed, trying its stable name first, then the path mapped now;
// true when it is open. Reported like the loss. A path whose node or link is still the one opened before
// is not tried: it is the dead device, or a pseudo-terminal number that another program took since.
bool ReopenLostPort(Link& link);
// The paths a lost device may come back under, the stable one first.
QStringList LostDevicePaths(const Link& link);
// The device of the port as it stands: the one opened (a device that came back may be open under its
// by-id name rather than the mapped path), else the one PortNumber maps to; empty with no port.
QString CurrentPortDevice(const Link& link);
