#include "FileReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

#ifdef Q_OS_UNIX

namespace {

// NAME.XXXXXX: six letters or digits after the target's name and a dot, as Qt's temporary files have them.
bool IsTemporaryOf(const QString& entry, const QString& target) {
    if (entry.size() != target.size() + 7 || !entry.startsWith(target) || entry[target.size()] != u'.')
        return false;
    for (qsizetype i = target.size() + 1; i < entry.size(); ++i)
        if (!(entry[i].isLetterOrNumber() && entry[i].unicode() < 0x80))
            return false;
    return true;
}

bool SameFile(const QByteArray& name, int fd) {
    struct stat byName {
    }, byFd{};
    return ::lstat(name.constData(), &byName) == 0 && ::fstat(fd, &byFd) == 0 &&
           byName.st_dev == byFd.st_dev && byName.st_ino == byFd.st_ino;
}

// A save holds a lock on its temporary file until the rename; a temporary file nobody holds is what a
// killed save left. Only regular files of this user are touched.
void RemoveLeftovers(const QFileInfo& target) {
    const QDir dir = target.absoluteDir();
    const QStringList entries =
        dir.entryList({target.fileName() + QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!IsTemporaryOf(entry, target.fileName()))
            continue;
        const QByteArray name = QFile::encodeName(dir.filePath(entry));
        const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(name, fd))
            ::unlink(name.constData());
        ::close(fd);
    }
}

// Creates NAME.XXXXXX exclusively (never an existing path, never through a link) and locks it. A
// leftover sweep of another save may remove the name between the creation and the lock: then another.
int CreateTemporary(const QByteArray& target, QByteArray& name) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + '.';
        for (int i = 0; i < 6; ++i)
            name += kChars[QRandomGenerator::global()->bounded(int(sizeof kChars) - 1)];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        if (::flock(fd, LOCK_EX) == 0 && SameFile(name, fd))
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The file a link points to is replaced, not the link, so that a settings file kept elsewhere and linked
// to stays where it is.
QFileInfo ResolvedTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info;
}

} // namespace

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error,
                    const std::function<bool()>& beforeReplace) {
    const QFileInfo info = ResolvedTarget(path);
    RemoveLeftovers(info);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray name;
    const int fd = CreateTemporary(target, name);
    if (fd < 0) {
        if (error)
            *error = qt_error_string(errno);
        return false;
    }
    // An existing file keeps its permissions; a new one gets the user's usual ones (the umask's).
    struct stat old {};
    bool ok = (::stat(target.constData(), &old) != 0 || ::fchmod(fd, old.st_mode & 07777) == 0) &&
              WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int failure = ok ? 0 : errno;
    const bool abandoned = ok && beforeReplace && !beforeReplace();
    if (ok && !abandoned && ::rename(name.constData(), target.constData()) != 0) {
        ok = false;
        failure = errno;
    }
    if (!ok || abandoned)
        ::unlink(name.constData());
    ::close(fd);
    if (!ok && error)
        *error = qt_error_string(failure);
    return ok && !abandoned;
}

#else

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error,
                    const std::function<bool()>& beforeReplace) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()) {
        if (beforeReplace && !beforeReplace()) {
            file.cancelWriting();
            return false;
        }
        if (file.commit())
            return true;
    }
    if (error)
        *error = file.errorString();
    return false;
}

#endif
