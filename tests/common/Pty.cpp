#include "Pty.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slave_ = QString::fromLocal8Bit(ptsname(master_));
    // Raw master side: the bytes pass unchanged in both directions.
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
}

PtyPair::~PtyPair() {
    closeMaster();
}

void PtyPair::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        done += n;
    }
}

static QByteArray readSome(int fd, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN))
        return {};
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
}

QByteArray PtyPair::read(int count, int timeoutMs) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(timeoutMs);
    QByteArray out;
    while (out.size() < count) {
        const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (left <= 0)
            break;
        out += readSome(master_, int(left));
    }
    return out;
}

QByteArray PtyPair::readUntilQuiet(int quietMs, int timeoutMs) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(timeoutMs);
    QByteArray out;
    while (steady_clock::now() < end) {
        const QByteArray got = readSome(master_, quietMs);
        if (got.isEmpty())
            break;
        out += got;
    }
    return out;
}
