// The answer's way onto the line: the RTS hold and the call sequence on the fake port.
#include "FlowAnswer.h"
#include "FakePort.h"
#include "Now_opros.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

TEST(SendAnswer, HoldTicksAt241BitTimes) {
    EXPECT_EQ(AnswerHoldTicks(23, 1200, 1000000000), 200833333u);
    EXPECT_EQ(AnswerHoldTicks(23, 9600, 1000000000), 25104166u);
    EXPECT_EQ(AnswerHoldTicks(23, 38400, 1000000000), 6276041u);
    EXPECT_EQ(AnswerHoldTicks(23, 9600, 1000000), 25104u);
}

TEST(SendAnswer, CallSequenceAndRtsHold) {
    struct Row {
        int rtsControl;
        bool refuseModemLines;
        int baud;
    };
    // RTS is switched for every answer whatever RtsControl says, and a refusal (pseudo-terminal) does
    // not stop the answer.
    const Row rows[] = {{1, false, 9600}, {0, false, 1200}, {1, true, 38400}};
    for (const Row& row : rows) {
        ManualClock clock(5000, 1000000);
        FakePort port(clock);
        port.refuseModemLines = row.refuseModemLines;
        Link link;
        link.setPort(&port);
        link.setClock(&clock);
        link.setPerfFrequency(1000000);
        link.setRtsControl(row.rtsControl);
        link.setLineSpeed(row.baud);
        ASSERT_TRUE(port.open("/dev/fake", row.baud, nullptr));
        port.clearCalls();

        quint8 answer[proto::kFlowAnswerSize];
        for (int i = 0; i < proto::kFlowAnswerSize; ++i)
            answer[i] = quint8(i + 1);
        SendAnswer(link, answer);

        using K = FakePort::Kind;
        std::vector<K> kinds;
        for (const auto& c : port.calls)
            kinds.push_back(c.kind);
        // RTS drops only after the output has drained; what comes back is left to the echo filter.
        const std::vector<K> expect = {K::Purge, K::SetRts, K::Write, K::Drain, K::SetRts};
        ASSERT_EQ(kinds, expect) << row.baud;
        EXPECT_TRUE(port.calls[1].on);
        EXPECT_FALSE(port.calls[4].on);
        EXPECT_EQ(port.calls[2].data,
                  QByteArray("\xFF", 1) +
                      QByteArray(reinterpret_cast<const char*>(answer), proto::kFlowAnswerSize));
        // The counter is read once as the start just after RTS goes up; RTS drops at the first read
        // that lies more than the hold time after it.
        const qint64 hold = AnswerHoldTicks(proto::kFlowAnswerSize, row.baud, 1000000);
        const qint64 held = port.calls[4].perf - port.calls[1].perf;
        EXPECT_GT(held, hold) << row.baud;
        EXPECT_LE(held, hold + 2) << row.baud;
    }
}

TEST(SendAnswer, NothingWithoutAnOpenPort) {
    ManualClock clock;
    FakePort port(clock);
    Link link;
    link.setClock(&clock);
    quint8 answer[proto::kFlowAnswerSize] = {};
    SendAnswer(link, answer); // no port at all
    link.setPort(&port);      // a port that is not open
    SendAnswer(link, answer);
    EXPECT_TRUE(port.calls.empty());
}
