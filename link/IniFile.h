#pragma once
// A small INI file editor that changes only the values it is asked to change. Every other section, key,
// comment, blank line and byte of the file stays as it was, in its place; section and key names match
// case-insensitively and may contain spaces ("rs 232", "COM Port"); nothing is escaped.
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class IniFile {
public:
    // A settings file is a few lines; anything larger is not ours and is neither parsed nor replaced.
    static constexpr qint64 kMaxSize = 1 << 20;

    enum class LoadResult { Ok, Missing, Unreadable };
    LoadResult load(const QString& path);

    void setText(const QByteArray& text);
    QByteArray text() const;

    // The trimmed value of the first `key` in the first section `section`.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // Replaces the value of that key, or adds the key at the end of the section, or the section at the
    // end of the file.
    void setValue(const QString& section, const QString& key, const QString& value);

    // Replaces the file atomically: a temporary file in the same directory is written and synced to
    // disk, then renamed over the target. The directory is created when missing. False on any failure,
    // in which case the old file is left as it was.
    bool save(const QString& path) const;

    // Test seam: called with the target path after the temporary file is complete and synced and before
    // it is renamed over the target. Returning false abandons the save there (as a crash would).
    static std::function<bool(const QString& path)> beforeReplace;

private:
    qsizetype findSection(const QByteArray& name) const;
    qsizetype findKey(qsizetype sectionLine, const QByteArray& key) const;
    QByteArray newLine(const QByteArray& content) const;

    QList<QByteArray> lines_; // without '\n'; a '\r' before it stays part of the line
    bool finalNewline_ = false;
};
