#include "IniFile.h"

#include "FileReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

std::function<bool(const QString& path)> IniFile::beforeReplace;

namespace {

QByteArray stripCr(const QByteArray& line) {
    return line.endsWith('\r') ? line.chopped(1) : line;
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "[name]" -> name; not a section header -> nullopt.
std::optional<QByteArray> sectionName(const QByteArray& line) {
    // A file saved by a Windows editor may start with a UTF-8 byte order mark.
    const QByteArray t = (line.startsWith("\xEF\xBB\xBF") ? line.mid(3) : line).trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

bool isComment(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    return t.startsWith(';') || t.startsWith('#');
}

// "key = value" -> key; not a key line -> nullopt.
std::optional<QByteArray> keyName(const QByteArray& line) {
    if (isComment(line) || sectionName(line))
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return line.left(eq).trimmed();
}

} // namespace

IniFile::LoadResult IniFile::load(const QString& path) {
    lines_.clear();
    finalNewline_ = false;
    const QFileInfo info(path);
    if (!info.exists())
        return LoadResult::Missing;
    // A directory, a device or a pipe under that name is not a settings file (and a pipe would block).
    if (!info.isFile() || info.size() > kMaxSize)
        return LoadResult::Unreadable;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return LoadResult::Unreadable;
    const QByteArray data = f.read(kMaxSize + 1);
    if (data.size() > kMaxSize || f.error() != QFileDevice::NoError)
        return LoadResult::Unreadable;
    setText(data);
    return LoadResult::Ok;
}

void IniFile::setText(const QByteArray& text) {
    lines_ = text.split('\n');
    finalNewline_ = text.endsWith('\n');
    if (finalNewline_ || text.isEmpty())
        lines_.removeLast();
}

QByteArray IniFile::text() const {
    QByteArray out = lines_.join('\n');
    if (finalNewline_ && !lines_.isEmpty())
        out += '\n';
    return out;
}

qsizetype IniFile::findSection(const QByteArray& name) const {
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const auto s = sectionName(lines_[i]);
        if (s && sameName(*s, name))
            return i;
    }
    return -1;
}

qsizetype IniFile::findKey(qsizetype sectionLine, const QByteArray& key) const {
    for (qsizetype i = sectionLine + 1; i < lines_.size() && !sectionName(lines_[i]); ++i) {
        const auto k = keyName(lines_[i]);
        if (k && sameName(*k, key))
            return i;
    }
    return -1;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const qsizetype s = findSection(section.toUtf8());
    if (s < 0)
        return std::nullopt;
    const qsizetype k = findKey(s, key.toUtf8());
    if (k < 0)
        return std::nullopt;
    const QByteArray& line = lines_[k];
    return QString::fromUtf8(line.mid(line.indexOf('=') + 1).trimmed());
}

// New lines follow the file's own line ending (CR LF when its first line has one).
QByteArray IniFile::newLine(const QByteArray& content) const {
    return (!lines_.isEmpty() && lines_.first().endsWith('\r')) ? content + '\r' : content;
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray sec = section.toUtf8(), k = key.toUtf8(), v = value.toUtf8();
    const qsizetype s = findSection(sec);
    if (s < 0) {
        lines_.append(newLine('[' + sec + ']'));
        lines_.append(newLine(k + '=' + v));
        finalNewline_ = true;
        return;
    }
    const qsizetype line = findKey(s, k);
    if (line >= 0) {
        // Keep the key as it is spelt and spaced in the file; only the value changes.
        const QByteArray& old = lines_[line];
        QByteArray updated = old.left(old.indexOf('=') + 1) + v;
        if (old.endsWith('\r'))
            updated += '\r';
        lines_[line] = updated;
        return;
    }
    // After the section's last non-blank line, so that blank lines before the next section stay there.
    qsizetype insertAt = s + 1;
    for (qsizetype i = s + 1; i < lines_.size() && !sectionName(lines_[i]); ++i)
        if (!stripCr(lines_[i]).trimmed().isEmpty())
            insertAt = i + 1;
    lines_.insert(insertAt, newLine(k + '=' + v));
    if (insertAt == lines_.size() - 1)
        finalNewline_ = true;
}

bool IniFile::save(const QString& path) const {
    const QFileInfo info(path);
    // A settings file made read-only is kept as it is: the rename below needs only a writable directory
    // and would replace it. Root passes every permission check, so the file's own write bits decide too.
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (info.exists() && (!info.isWritable() || !(info.permissions() & anyWrite)))
        return false;
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    return WriteWholeFile(path, text(), nullptr, [&path] { return !beforeReplace || beforeReplace(path); });
}
