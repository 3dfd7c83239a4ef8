#include "FakePort.h"

#include <algorithm>

namespace {
// True when tick `at` has been reached at `now`, across the 32-bit wrap of the tick.
bool reached(quint32 at, quint32 now) {
    return qint32(at - now) <= 0;
}
} // namespace

void FakePort::record(Kind kind, QByteArray data, bool on) {
    Call c{kind, clock_.tickMs(), clock_.perfNow(), std::move(data), on, {}, 0};
    calls.push_back(std::move(c));
}

void FakePort::arrive(quint32 atMs, const QByteArray& bytes) {
    // Keep the script in arrival order; equal times keep the order they were scripted in.
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Pending& p) { return qint32(p.atMs - atMs) > 0; });
    pending_.insert(it, Pending{atMs, bytes});
}

QByteArray FakePort::written() const {
    QByteArray out;
    for (const Call& c : calls)
        if (c.kind == Kind::Write)
            out += c.data;
    return out;
}

int FakePort::count(Kind kind) const {
    return int(std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.kind == kind; }));
}

bool FakePort::open(const QString& device, qint32 baud, OpenError* error) {
    record(Kind::Open);
    calls.back().device = device;
    calls.back().baud = baud;
    if (failOpen) {
        open_ = false; // a real port is closed before it is opened again
        if (error)
            *error = openError;
        return false;
    }
    open_ = true;
    lostDevice = false;
    rts_ = dtr_ = false;
    device_ = device;
    baud_ = baud;
    return true;
}

void FakePort::close() {
    record(Kind::Close);
    open_ = false;
    rts_ = dtr_ = false;
}

bool FakePort::setRts(bool on) {
    record(Kind::SetRts, {}, on);
    if (!open_ || refuseModemLines)
        return false;
    rts_ = on;
    return true;
}

bool FakePort::setDtr(bool on) {
    record(Kind::SetDtr, {}, on);
    if (!open_ || refuseModemLines)
        return false;
    dtr_ = on;
    return true;
}

void FakePort::purge() {
    record(Kind::Purge);
    const quint32 now = clock_.tickMs();
    while (!pending_.empty() && reached(pending_.front().atMs, now))
        pending_.pop_front();
}

void FakePort::drain() {
    record(Kind::Drain);
}

qint64 FakePort::read(quint8* buf, qint64 max) {
    if (!open_ || failReads) {
        record(Kind::Read);
        return -1;
    }
    const quint32 now = clock_.tickMs();
    QByteArray got;
    while (!pending_.empty() && reached(pending_.front().atMs, now) && got.size() < max) {
        Pending& p = pending_.front();
        const qsizetype take = std::min<qsizetype>(p.bytes.size(), qsizetype(max - got.size()));
        got += p.bytes.left(take);
        p.bytes.remove(0, take);
        if (p.bytes.isEmpty())
            pending_.pop_front();
    }
    std::copy(got.begin(), got.end(), buf);
    record(Kind::Read, got);
    return got.size();
}

qint64 FakePort::write(const quint8* data, qint64 n) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(n));
    record(Kind::Write, bytes);
    if (!open_)
        return -1;
    if (onWrite)
        onWrite(bytes);
    return n;
}

void FakePort::clearError() {
    record(Kind::ClearError);
}

bool FakePort::waitForInput(int timeoutMs, bool) {
    record(Kind::Wait);
    const std::size_t self = calls.size() - 1;
    const quint32 now = clock_.tickMs();
    // A closed port or one whose reads fail has nothing readable: the wait runs its full time.
    const bool readable = open_ && !failReads && !pending_.empty();
    bool came = false;
    if (readable && reached(pending_.front().atMs, now)) {
        came = true;
    } else if (timeoutMs > 0) {
        if (readable && quint32(pending_.front().atMs - now) <= quint32(timeoutMs)) {
            clock_.advanceMs(pending_.front().atMs - now);
            came = true;
        } else {
            clock_.advanceMs(quint32(timeoutMs));
        }
    }
    calls[self].on = came;
    return came;
}
