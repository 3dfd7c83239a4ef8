#include "StatusLine.h"

#include "CliOptions.h"

#include <QByteArray>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Asked at every rewrite: the operator may resize the window meanwhile.
int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return 80;
    return size.ws_col;
}

void WriteErr(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

constexpr qint64 kRewriteMs = 1000;

} // namespace

StatusLine::StatusLine() : enabled_(::isatty(STDERR_FILENO) != 0 && !CurrentOutputMode().quiet) {}

QString StatusLine::fitted(const QString& text, int columns) {
    const int room = qMax(columns - 1, 0);
    return text.size() <= room ? text : text.left(room);
}

void StatusLine::show(const QString& text, bool now) {
    if (!enabled_ || (!now && since_.isValid() && since_.elapsed() < kRewriteMs))
        return;
    since_.start();
    // Carriage return, the text, then erase to the end of the row: a shorter text leaves nothing behind.
    WriteErr("\r" + fitted(text, TerminalColumns()).toUtf8() + "\x1b[K");
    shown_ = true;
}

void StatusLine::clear() {
    if (!shown_)
        return;
    WriteErr("\r\x1b[K");
    shown_ = false;
}
