#include "CliCount.h"

#include "CliOptions.h"

#include <QCoreApplication>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kCountDigitsMax = 15; // beyond any counter on a bench

enum class Read { Line, End, Stop };

// Bytes up to a new line, or the end of input, or a stop signal, whichever comes first. The wait sleeps in
// poll(): a signal's byte in stopFd wakes it, and the event loop then runs the signal's handler.
Read ReadLine(int stopFd, const std::function<bool()>& stopped, QByteArray& line) {
    line.clear();
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int n = ::poll(fds, stopFd >= 0 ? 2 : 1, -1);
        if (n < 0 && errno != EINTR)
            return Read::End;
        QCoreApplication::processEvents();
        if (stopped())
            return Read::Stop;
        if (n <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char c = 0;
        // One byte at a time: what follows the line stays for the next question.
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Read::End;
        if (c == '\n')
            return Read::Line;
        line.append(c);
    }
}

} // namespace

QString CountProblem(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QStringLiteral("число не введено");
    bool digits = t.size() <= kCountDigitsMax;
    for (const QChar c : t)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!digits)
        return QStringLiteral("«%1» — не целое число импульсов").arg(t);
    return {};
}

std::optional<qint64> AskCount(const QString& prompt, int stopFd, const std::function<bool()>& stopped) {
    QByteArray line;
    for (;;) {
        PrintError(prompt);
        const Read read = ReadLine(stopFd, stopped, line);
        if (read != Read::Line) {
            PrintError(QStringLiteral("\n"));
            return std::nullopt;
        }
        const QString text = QString::fromLocal8Bit(line);
        if (const QString problem = CountProblem(text); !problem.isEmpty()) {
            PrintError(problem + QStringLiteral("; введите число импульсов, насчитанное за шаг.\n"));
            continue;
        }
        return text.trimmed().toLongLong();
    }
}
