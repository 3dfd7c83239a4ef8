// The tap on the transmission and receive paths: what an observer sees of a request and of each way an
// answer can end, with times from the link's clock; that nothing is recorded without an observer or the
// frame trace; and what the trace prints.
#include "LineTap.h"
#include "FakePort.h"
#include "HexBytes.h"
#include "Logging.h"
#include "Now_opros.h"
#include "PortRecovery.h"
#include "Protocol.h"

#include <QRegularExpression>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct LineKind {
    LineEventKind kind;
    LineDirection direction;
    bool operator==(const LineKind&) const = default;
};

struct Recorder : LineObserver {
    void lineEvents(const std::vector<LineEvent>& events) override {
        for (const LineEvent& e : events)
            seen.push_back(e);
    }
    std::vector<LineKind> kinds() const {
        std::vector<LineKind> out;
        for (const LineEvent& e : seen)
            if (e.kind != LineEventKind::Bytes)
                out.push_back({e.kind, e.direction});
        return out;
    }
    std::vector<LineEvent> seen;
};

struct TapRig {
    ManualClock clock{1000};
    FakePort port{clock};
    Link link;
    Recorder recorder;
    TapRig() {
        link.setPort(&port);
        link.setClock(&clock);
        link.setRtsControl(0);
        OpenError e;
        port.open(QStringLiteral("/dev/ttyS0"), 1200, &e);
        link.tap().setObserver(&recorder, &clock);
    }
};

using K = LineEventKind;
constexpr auto In = LineDirection::In;
constexpr auto Out = LineDirection::Out;

// The port's loss names the port as the operator chose it: by its number, or by the device given.
TEST(LineTap, PortLossNamesThePortAsItWasChosen) {
    const struct {
        const char* chosen;
        const char* device;
        const char* line;
    } cases[] = {
        {"", "/dev/ttyS0", "rmz47: порт COM1 (/dev/ttyS0): устройство потеряно: Input/output error"},
        {"ttyUSB0", "/dev/ttyUSB0",
         "rmz47: порт ttyUSB0 (/dev/ttyUSB0): устройство потеряно: Input/output error"},
        {"/dev/pts/7", "/dev/pts/7", "rmz47: порт /dev/pts/7: устройство потеряно: Input/output error"}};
    InstallLogOutput();
    for (const auto& c : cases) {
        TapRig rig;
        rig.link.setPortNumber(1);
        rig.link.setChosenPortName(QString::fromUtf8(c.chosen));
        TakeUpOpenedPort(rig.link, QString::fromUtf8(c.device));
        rig.port.lostDevice = true;
        testing::internal::CaptureStderr();
        NoticePortLoss(rig.link);
        const QStringList lines = QString::fromStdString(testing::internal::GetCapturedStderr()).split(u'\n');
        EXPECT_TRUE(lines.contains(QString::fromUtf8(c.line))) << lines.join(u'\n').toStdString();
    }
}

} // namespace

// The last event of each row carries the outcome of the answer's one parse, against the read it answers.
TEST(LineTap, EachWayAnAnswerEndsIsSeenAfterTheRequest) {
    using O = proto::AnswerOutcome;
    struct Row {
        const char* name;
        const char* line; // what the controller sends, 100 ms after the request
        std::vector<LineKind> expected;
        int noise;
        O outcome;
    };
    const std::vector<Row> rows = {
        {"answer, bad checksum", "FF33FF0A81000000009CEF", {{K::Frame, Out}, {K::Frame, In}}, 0, O::BadCrc},
        {"noise first",
         "1213FF33FF0A81000000009CEF",
         {{K::Frame, Out}, {K::Noise, In}, {K::Frame, In}},
         2,
         O::BadCrc},
        {"silence", "", {{K::Frame, Out}, {K::Silence, In}}, 0, O::Silence},
        {"cut short", "FF33FF0A8100", {{K::Frame, Out}, {K::CutShort, In}}, 0, O::CutShort},
        {"sound answer", "FF33FF0B8100000001056047", {{K::Frame, Out}, {K::Frame, In}}, 0, O::Ok},
        {"no data", "FF33FF0A810000000030B1", {{K::Frame, Out}, {K::Frame, In}}, 0, O::WrongCount},
        {"a write's answer",
         "FF33FF0A820000000074B1",
         {{K::Frame, Out}, {K::Frame, In}},
         0,
         O::WrongFunction},
    };
    for (const Row& row : rows) {
        TapRig rig;
        BuildReadRequest(rig.link, 0);
        rig.port.onWrite = [&](const QByteArray& b) {
            if (b.size() > 3 && *row.line)
                rig.port.arrive(rig.clock.tickMs() + 100, Hex(row.line));
        };
        Transact(rig.link, nullptr, false);
        EXPECT_EQ(rig.recorder.kinds(), row.expected) << row.name;
        const auto& seen = rig.recorder.seen;
        const auto frameOut = std::find_if(seen.begin(), seen.end(), [](const LineEvent& e) {
            return e.kind == K::Frame && e.direction == Out;
        });
        ASSERT_NE(frameOut, seen.end()) << row.name;
        EXPECT_EQ(frameOut->bytes,
                  QByteArray(reinterpret_cast<const char*>(rig.link.RequestBuffer().data()), 10));
        for (const LineEvent& e : seen) {
            if (e.kind == K::Noise) {
                EXPECT_EQ(e.count, row.noise) << row.name;
            }
        }
        EXPECT_LE(seen.front().timeUs, seen.back().timeUs) << row.name;
        EXPECT_EQ(seen.back().outcome, row.outcome) << row.name;
    }
}

TEST(LineTap, WithoutAnObserverTheClockIsNotRead) {
    TapRig rig;
    rig.link.tap().setObserver(nullptr, nullptr);
    rig.clock.setPerf(0);
    rig.clock.perfStep = 1;
    BuildReadRequest(rig.link, 0);
    SendRequest(rig.link, nullptr);
    // With RTS left alone the send reads no counter at all: the tap stayed out of the way.
    EXPECT_EQ(rig.clock.perfNow(), 0);
    EXPECT_TRUE(rig.recorder.seen.empty());
}

// With the frame trace on (debug of rmz47.link) the tap records without an observer and prints every
// event; the port's loss still reaches the operator as the plain line it always was.
TEST(LineTap, TracePrintsEveryEventAndThePortLossStaysAPlainLine) {
    InstallLogOutput();
    TapRig rig;
    rig.link.tap().setObserver(nullptr, nullptr);
    QLoggingCategory::setFilterRules(QStringLiteral("rmz47.link.debug=true"));
    testing::internal::CaptureStderr();
    BuildReadRequest(rig.link, 0);
    SendRequest(rig.link, nullptr);
    rig.link.setPortNumber(1);
    TakeUpOpenedPort(rig.link, QStringLiteral("/dev/ttyS0"));
    rig.port.lostDevice = true;
    NoticePortLoss(rig.link);
    const QStringList lines = QString::fromStdString(testing::internal::GetCapturedStderr()).split(u'\n');
    QLoggingCategory::setFilterRules({});
    const QString request = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(rig.link.RequestBuffer().data()), 10).toHex(' ').toUpper());
    const auto has = [&](const QString& pattern) {
        return lines.indexOf(QRegularExpression(QRegularExpression::anchoredPattern(pattern))) >= 0;
    };
    EXPECT_TRUE(has(QStringLiteral("rmz47\\.link: \\d+\\.\\d{6} out frame ") + request))
        << lines.join(u'\n').toStdString();
    EXPECT_TRUE(has(QStringLiteral("rmz47\\.link: \\d+\\.\\d{6} in port lost Input/output error")));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("rmz47: порт COM1 (/dev/ttyS0): устройство потеряно: Input/output error")));
    EXPECT_FALSE(rig.link.tap().active());
}
