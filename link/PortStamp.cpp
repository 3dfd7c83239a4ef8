#include "PortStamp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

PortStamp::~PortStamp() {
    release();
}

#ifdef Q_OS_UNIX

namespace {

// A folder this user alone may write into: a shared temporary folder must not let another user plant
// the stamps.
bool PrivateFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    ::mkdir(name.constData(), 0700);
    struct stat st {};
    return ::lstat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

// Ended, or killed and not yet reaped by its parent (a zombie holds no device).
bool Gone(qint64 pid) {
    if (pid <= 0)
        return false;
    if (::kill(pid_t(pid), 0) != 0)
        return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (comm) S ...": the state follows the command name, which may itself hold blanks and brackets.
    const QByteArray text = stat.read(512);
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && (text.mid(close + 2, 1) == "Z" || text.mid(close + 2, 1) == "X");
}

// "PID open" of a holder that has gone, its last request at most kLingerMs ago.
bool KilledRecently(int fd) {
    char text[64] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    struct stat st {};
    if (n <= 0 || ::fstat(fd, &st) != 0)
        return false;
    const QList<QByteArray> words = QByteArray(text, int(n)).simplified().split(' ');
    if (words.size() != 2 || words[1] != "open" || !Gone(words[0].toLongLong()))
        return false;
    const auto last = std::chrono::system_clock::time_point(std::chrono::seconds(st.st_mtim.tv_sec) +
                                                            std::chrono::nanoseconds(st.st_mtim.tv_nsec));
    const auto age = std::chrono::system_clock::now() - last;
    return age >= decltype(age)::zero() && age < PortStamp::kLingerMs;
}

void Write(int fd, const char* state) {
    const QByteArray text = QByteArray::number(qint64(::getpid())) + ' ' + state + '\n';
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, text.constData(), std::size_t(text.size()), 0) < 0)
        return; // a stamp that cannot be written only costs the next holder its wait
}

} // namespace

QString PortStamp::folder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return PrivateFolder(runtime + QStringLiteral("/rmz47")) ? runtime + QStringLiteral("/rmz47")
                                                                 : QString();
    const QString temp = QDir::tempPath() + QStringLiteral("/rmz47-%1").arg(::geteuid());
    return PrivateFolder(temp) ? temp : QString();
}

bool PortStamp::take(const QString& device) {
    release();
    const QString node = QFileInfo(device).canonicalFilePath();
    const QString dir = folder();
    if (node.isEmpty() || dir.isEmpty())
        return false;
    const QString name = QString(node).mid(1).replace(u'/', u'_');
    fd_ = ::open(QFile::encodeName(dir + u'/' + name).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                 0600);
    if (fd_ < 0)
        return false;
    const bool killed = KilledRecently(fd_);
    Write(fd_, "open");
    return killed;
}

void PortStamp::requestSent() {
    if (fd_ >= 0)
        ::futimens(fd_, nullptr);
}

void PortStamp::release() {
    if (fd_ < 0)
        return;
    Write(fd_, "closed");
    ::close(fd_);
    fd_ = -1;
}

#else

QString PortStamp::folder() {
    return {};
}
bool PortStamp::take(const QString&) {
    return false;
}
void PortStamp::requestSent() {}
void PortStamp::release() {}

#endif
