#include "SpeedReadback.h"

#include <cstdlib>

#if defined(Q_OS_LINUX)
// termios2 carries any speed in bit/s (BOTHER); <termios.h> cannot be included beside this header.
#include <asm/termbits.h>
#include <sys/ioctl.h>

qint32 ReadBackBaud(int fd) {
    if (fd < 0)
        return 0;
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return qint32(t.c_ospeed);
}
#else
qint32 ReadBackBaud(int) {
    return 0;
}
#endif

bool SpeedMissed(qint32 requested, qint32 actual) {
    if (requested <= 0 || actual <= 0)
        return false;
    return std::llabs(qint64(actual) - requested) * 100 > qint64(requested) * 2;
}
