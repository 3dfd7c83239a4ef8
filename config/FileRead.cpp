#include "FileRead.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads fd to its end or to limit + 1 bytes; false (errno set) on a read error.
bool ReadUpTo(int fd, qint64 limit, QByteArray* out) {
    char buffer[65536];
    while (out->size() <= limit) {
        const qint64 want = qMin<qint64>(sizeof buffer, limit + 1 - out->size());
        const ssize_t n = ::read(fd, buffer, size_t(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        out->append(buffer, qsizetype(n));
    }
    return true;
}

QString LimitText(qint64 limit) {
    return limit % (1 << 20) == 0 ? QStringLiteral("%1 МиБ").arg(limit >> 20)
                                  : QStringLiteral("%1 байт").arg(limit);
}

} // namespace

bool IsStandardStream(const QString& path) {
    return path == QLatin1String("-");
}

std::optional<QByteArray> ReadLimitedFile(const QString& path, qint64 limit, QString* error) {
    const bool standard = IsStandardStream(path);
    const int fd =
        standard ? STDIN_FILENO : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        if (error)
            *error = SystemReason(EISDIR);
        return std::nullopt;
    }
    QByteArray bytes;
    const bool read = fd >= 0 && ReadUpTo(fd, limit, &bytes);
    const int saved = errno;
    if (fd >= 0 && !standard)
        ::close(fd);
    if (!read) {
        if (error)
            *error = SystemReason(saved);
        return std::nullopt;
    }
    if (bytes.size() > limit) {
        if (error)
            *error = QStringLiteral("он больше %1, а программа таких больших файлов не пишет")
                         .arg(LimitText(limit));
        return std::nullopt;
    }
    return bytes;
}

QString SystemReason(int errorNumber) {
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("нет такого файла или папки");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("нет такого устройства");
    case EISDIR:
        return QStringLiteral("это папка, а не файл");
    case ENOTDIR:
        return QStringLiteral("часть пути не папка");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав доступа");
    case EBUSY:
        return QStringLiteral("устройство занято");
    case ENOSPC:
        return QStringLiteral("нет места на диске");
    case EROFS:
        return QStringLiteral("файловая система только для чтения");
    case ENOTTY:
        return QStringLiteral("это не последовательный порт");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода");
    case ENAMETOOLONG:
        return QStringLiteral("слишком длинное имя");
    default:
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}
