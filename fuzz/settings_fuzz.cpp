// Arbitrary bytes as the settings file: read, the program's keys queried and set, written out, read
// again. Whatever the file holds, every line the program did not set stays byte for byte, and what was
// set reads back.
//
// Input: a control byte first, then the file's bytes. The control byte picks the keys (the whole byte)
// and the values (bits 4..7) to set; with bits 2 and 3 both set the file also goes through the disk with
// LoadSettings and SaveSettings.
#include "FuzzSupport.h"
#include "IniFile.h"
#include "Now_opros.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

struct Key {
    const char* section;
    const char* key;
};
// The keys the program reads and writes, in the spellings it uses, and one that no file has.
const Key kKeys[] = {{"rs 232", "COM Port"}, {"rs 232", "RTS"}, {"ports", "COM1"},
                     {"ports", "COM8"},      {"RS 232", "rts"}, {"fuzz new", "k"}};
const char* const kValues[] = {"0",
                               "1",
                               "8",
                               "-1",
                               "2147483647",
                               "/dev/ttyUSB0",
                               "a=b",
                               "x y",
                               "[rs 232]",
                               ";not a comment",
                               "",
                               "COM Port=3",
                               "\xD0\xBF\xD0\xBE",
                               "7",
                               "9",
                               "00"};

QList<QByteArray> linesOf(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (text.isEmpty() || text.endsWith('\n'))
        lines.removeLast();
    return lines;
}

// `after` is `before` with one key set: either the same lines with one of them changed after its '=', or
// one line inserted, or a section header and its key appended. Everything else is as it was.
void requireOnlyTheKeyChanged(const QByteArray& before, const QByteArray& after, const QByteArray& keyLine) {
    const QList<QByteArray> a = linesOf(before), b = linesOf(after);
    if (b.size() == a.size()) {
        qsizetype changed = -1;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (a[i] != b[i]) {
                Require(changed < 0);
                changed = i;
            }
        }
        if (changed >= 0) {
            const QByteArray& old = a[changed];
            Require(b[changed].startsWith(old.left(old.indexOf('=') + 1)));
        }
        // A key set to its current value changes nothing, not even the final newline.
        if (changed < 0)
            Require(before == after);
        return;
    }
    if (b.size() == a.size() + 1) {
        qsizetype i = 0;
        while (i < a.size() && a[i] == b[i])
            ++i;
        Require(b[i] == keyLine || b[i] == keyLine + '\r');
        for (; i < a.size(); ++i)
            Require(a[i] == b[i + 1]);
        return;
    }
    Require(b.size() == a.size() + 2);
    for (qsizetype i = 0; i < a.size(); ++i)
        Require(a[i] == b[i]);
    Require(b.last() == keyLine || b.last() == keyLine + '\r');
    // What was there before is still the start of the file (a last line without its newline gets one).
    Require(after.startsWith(before));
}

void checkInMemory(const QByteArray& file, quint8 control) {
    IniFile ini;
    ini.setText(file);
    Require(ini.text() == file); // reading alone changes nothing

    for (const Key& k : kKeys) {
        const auto v = ini.value(QString::fromUtf8(k.section), QString::fromUtf8(k.key));
        // A value is one line, without its line end.
        if (v && !v->isEmpty())
            Require(!v->contains(u'\n') && !v->endsWith(u'\r'));
    }

    QByteArray text = file;
    for (int n = 0; n < 3; ++n) {
        const Key& k = kKeys[(control + n * 3) % std::size(kKeys)];
        const QString section = QString::fromUtf8(k.section), key = QString::fromUtf8(k.key);
        const QString value = QString::fromUtf8(kValues[((control >> 4) ^ (n * 5)) & 15]);

        ini.setValue(section, key, value);
        const QByteArray after = ini.text();
        requireOnlyTheKeyChanged(text, after, QByteArray(k.key) + '=' + value.toUtf8());
        Require(ini.value(section, key) == value);

        // Written out and read again, the same.
        IniFile again;
        again.setText(after);
        Require(again.text() == after);
        Require(again.value(section, key) == value);

        // Setting it again to the same value changes nothing.
        ini.setValue(section, key, value);
        Require(ini.text() == after);
        text = after;
    }
    // Every key reads the same from the text as written out.
    IniFile again;
    again.setText(text);
    for (const Key& k : kKeys) {
        const QString section = QString::fromUtf8(k.section), key = QString::fromUtf8(k.key);
        Require(again.value(section, key) == ini.value(section, key));
    }
}

// The program's own path through the file: LoadSettings, SaveSettings, LoadSettings.
void checkOnDisk(const QByteArray& file, quint8 control) {
    // In memory where the system has it: every save syncs the file to disk.
    static QTemporaryDir dir(
        (QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
        QStringLiteral("/settings_fuzz-XXXXXX"));
    Require(dir.isValid());
    Link link;
    link.setSettingsPath(dir.filePath(QStringLiteral("marvil.ini")));
    {
        QFile f(link.settingsPath());
        Require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(file) == file.size());
    }
    LoadSettings(link);
    Require(link.PortNumber() >= 0 && link.PortNumber() <= 8);

    link.setPortNumber((control >> 4) % 9);
    link.setRtsControl((control & 0x80) ? 0 : int(control) - 200);
    SaveSettings(link);

    QFile f(link.settingsPath());
    Require(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    f.close();
    // Saved in place of the old file: the old bytes are kept (with at most a newline added after the last
    // line) or the two values changed in place; nothing else is left in the directory.
    Require(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size() == 1);
    const int oldLines = int(linesOf(file).size()), newLines = int(linesOf(saved).size());
    Require(newLines >= oldLines && newLines <= oldLines + 3);

    Link back;
    back.setSettingsPath(link.settingsPath());
    back.setPortNumber(-77);
    back.setRtsControl(-77);
    LoadSettings(back);
    Require(back.PortNumber() == link.PortNumber() && back.RtsControl() == link.RtsControl());
    if (control & 1)
        Require(!PortDeviceName(back, back.PortNumber() == 0 ? 1 : back.PortNumber()).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const quint8 control = data[0];
    const QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    checkInMemory(file, control);
    // Through the disk only now and then: every load reads into a buffer of the largest settings file,
    // which makes these runs some fifty times slower than the rest.
    if ((control & 0x0C) == 0x0C)
        checkOnDisk(file, control);
    return 0;
}
