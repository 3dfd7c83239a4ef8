#pragma once
// One line on standard error that a long job rewrites with its progress, on a terminal only: at most
// once a second, and cut to the terminal's width so that it never wraps and scrolls the screen.
#include <QElapsedTimer>
#include <QString>

class StatusLine {
public:
    StatusLine();
    // Off when standard error is no terminal (a script's log gets the summary only).
    bool enabled() const { return enabled_; }
    // Rewrites the line when a second has passed since the last time (or `now` is set).
    void show(const QString& text, bool now = false);
    // Clears the line, so that what follows starts on an empty row.
    void clear();
    // The text cut to `columns` characters (a terminal's last column would wrap on some terminals).
    static QString fitted(const QString& text, int columns);

private:
    bool enabled_ = false;
    bool shown_ = false;
    QElapsedTimer since_;
};
