#pragma once
// A pseudo-terminal pair for serial tests: the tool opens slavePath() like a serial device, the test
// reads and writes the master side.
#include <QByteArray>
#include <QString>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slave_; }
    int masterFd() const { return master_; }
    // Writes all bytes to the master side.
    void write(const QByteArray& bytes);
    // Reads from the master side until `count` bytes came or timeoutMs passed.
    QByteArray read(int count, int timeoutMs);
    // Reads whatever arrives until `quietMs` of silence (or timeoutMs in all).
    QByteArray readUntilQuiet(int quietMs, int timeoutMs);
    void closeMaster();

private:
    int master_ = -1;
    QString slave_;
};
