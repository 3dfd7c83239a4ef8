// Every frame kind and fault of the line, from the tap's events to the monitor's rows: kind, direction
// and what the row says.
#include "Crc16.h"
#include "LineLog.h"
#include "MonitorEvents.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace monitor;

namespace {

using K = LineEventKind;
using D = LineDirection;

// A read answer with a correct CRC: 33 FF N 81 00 00 00 count data CRC.
const char* const kTable0V3 = "33 FF 18 81 00 00 00 0E 00 00 00 03 00 00 00 00 00 00 00 00 00 00";
const char* const kTable4 =
    "33 FF 21 81 00 00 00 17 01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 51 01 01";

Frame WithCrc(const char* hex) {
    Frame f = Hex(hex);
    f.push_back(0);
    f.push_back(0);
    f[2] = std::uint8_t(f.size());
    proto::FrameCrc(f.data(), f.size());
    return f;
}

LineEvent FrameEv(D d, const Frame& f, qint64 ms = 10) {
    return LineEvent{K::Frame, d, ms * 1000, Q(f), 0};
}

// A controller's answer as the link hands it on: with the outcome of its one parse against the request.
LineEvent AnswerEv(quint8 askedFunction, const Frame& f) {
    LineEvent e = FrameEv(D::In, f);
    e.outcome = proto::CheckAnswer(f, int(f.size()), askedFunction).outcome;
    return e;
}
constexpr quint8 kRead = proto::kFnReadTable;

struct Case {
    const char* name;
    std::vector<LineEvent> events;
    RowKind kind;
    const char* direction;
    const char* says; // a part of the last row's meaning
};

std::vector<Case> Cases() {
    const LineEvent askTable0 = FrameEv(D::Out, Hex("CC FF 0A 01 00 00 00 FF 3E 2B"), 1);
    const LineEvent askTable7 = FrameEv(D::Out, Hex("CC FF 0A 01 00 07 00 FF 8F EA"), 1);
    const LineEvent askTable4 = FrameEv(D::Out, Hex("CC FF 0A 01 00 04 00 FF 7F EA"), 1);
    const Frame record = Hex("01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 51 01 01");
    Frame write = WithCrc("CC FF 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 04 00 17");
    write.insert(write.end() - 2, record.begin(), record.end());
    write[2] = std::uint8_t(write.size());
    proto::FrameCrc(write.data(), write.size());
    Frame badCrc = WithCrc(kTable0V3);
    badCrc.back() ^= 0x40;
    const char* const request11 = "AA 01 07 06 01 4E 45";
    return {
        {"read table 0", {askTable0}, RowKind::Request, "к контроллеру", "чтение: таблица 0"},
        {"version",
         {askTable0, AnswerEv(kRead, WithCrc(kTable0V3))},
         RowKind::Answer,
         "от контроллера",
         "Версия ПО 3 (выдача импульсов по расходу)"},
        {"configured",
         {askTable7, AnswerEv(kRead, WithCrc("33 FF 00 81 00 00 00 05 00 00 00 00 00"))},
         RowKind::Answer,
         "от контроллера",
         "контроллер законфигурирован"},
        {"not configured",
         {askTable7, AnswerEv(kRead, WithCrc("33 FF 00 81 00 00 00 05 00 00 00 00 01"))},
         RowKind::Answer,
         "от контроллера",
         "не законфигурирован"},
        {"configuration",
         {askTable4, AnswerEv(kRead, WithCrc(kTable4))},
         RowKind::Answer,
         "от контроллера",
         "ниток 1; цена импульса 100.000 м3; импульс 0.10 с; пауза 0.10 с; период опроса 3.00 с; "
         "ожидание ответа 1.00 с; нитка 1: адрес 1, номер 1, 1200 бит/с, порядок байт обратный"},
        {"write",
         {FrameEv(D::Out, write)},
         RowKind::Request,
         "к контроллеру",
         "запись: таблица 4 (конфигурация): ниток 1; цена импульса 100.000 м3"},
        {"write ack",
         {FrameEv(D::Out, write), AnswerEv(proto::kFnWriteTable, WithCrc("33 FF 00 82 00 00 00 00"))},
         RowKind::Answer,
         "от контроллера",
         "запись подтверждена"},
        {"bad checksum",
         {askTable0, AnswerEv(kRead, badCrc)},
         RowKind::Fault,
         "от контроллера",
         "неверной контрольной суммой"},
        {"cut frame",
         {askTable0, Ev(K::CutShort, D::In, 600, "33 FF 18 81 00")},
         RowKind::Fault,
         "от контроллера",
         "кадр оборван: принято 5 байт"},
        {"noise",
         {askTable0, Ev(K::Noise, D::In, 20, "", 6)},
         RowKind::Fault,
         "от контроллера",
         "пропущено байт шума: 6"},
        {"time-out",
         {askTable0, Ev(K::Silence, D::In, 510)},
         RowKind::Fault,
         "от контроллера",
         "нет ответа за время ожидания"},
        {"echo",
         {askTable0, Ev(K::Echo, D::In, 20, "FF FF FF CC", 4)},
         RowKind::Fault,
         "от контроллера",
         "собственная передача (эхо): 4 байта"},
        {"flow request", BytesIn(100, request11), RowKind::Request, "запрос",
         "запрос расхода: адрес 1, нитка 1"},
        {"flow request, bad checksum", BytesIn(100, "AA 01 07 06 01 4E 46"), RowKind::Fault, "запрос",
         "адрес 1, нитка 1, неверная контрольная сумма"},
        {"not imitated", BytesIn(100, "AA 05 07 06 01 4F 75"), RowKind::Fault, "запрос",
         "не имитируемой нитке: адрес 5, нитка 1"},
        {"tool's answer",
         Join({BytesIn(100, request11),
               {FrameEv(D::Out, Hex("55 01 17 86 01 45 61 00 00 41 20 00 00 00 00 00 00 41 20 00 00 D7 CD"),
                        101)}}),
         RowKind::Answer, "ответ", "ответ: адрес 1, нитка 1, расход 3600.000 м3/ч, объем 10.000 м3"},
    };
}

class MonitorDecode : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(MonitorDecode, EveryFrameKindAndFault) {
    proto::FlowSlots flowSlots; // one run: address 1, run 1, most significant byte first
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        LineLog log;
        log.setFlowSlots(&flowSlots);
        log.lineEvents(c.events);
        log.process(c.events.back().timeUs);
        const std::vector<LineRow> rows = log.takeRows();
        ASSERT_FALSE(rows.empty());
        const LineRow& last = rows.back();
        EXPECT_EQ(last.kind, c.kind);
        EXPECT_EQ(DirectionText(last), QString::fromUtf8(c.direction));
        EXPECT_TRUE(last.meaning.contains(QString::fromUtf8(c.says))) << last.meaning.toStdString();
    }
}

// Noise ahead of a request, a request cut by the flow computer's idle time, and the bytes of a broken
// request looked at again for a start: as the imitation's own recogniser would not.
TEST_F(MonitorDecode, PassiveReadingOfTheFlowRequests) {
    LineLog log;
    log.lineEvents(Join({BytesIn(0, "13 27 AA 01 07 06 01 4E 45"), BytesIn(100, "AA 01 07"),
                         BytesIn(400, "AA 01 AA 02 07 06 01 00 00 FF")}));
    log.process(2'000'000);
    QStringList says;
    for (const LineRow& r : log.takeRows())
        says << r.meaning + QStringLiteral(" [") + HexText(r.bytes) + QStringLiteral("]");
    EXPECT_EQ(says,
              (QStringList{QStringLiteral("пропущено байт шума: 2 []"),
                           QStringLiteral("запрос расхода: адрес 1, нитка 1 [AA 01 07 06 01 4E 45]"),
                           QStringLiteral("запрос оборван: принято 3 из 7 байт [AA 01 07]"),
                           QStringLiteral("пропущено байт шума: 2 []"),
                           QStringLiteral("запрос расхода: адрес 2, нитка 1, неверная контрольная сумма "
                                          "[AA 02 07 06 01 00 00]"),
                           QStringLiteral("пропущено байт шума: 1 []")}));
    ASSERT_EQ(log.jobs().size(), 1u);
    const Counters& c = log.jobs().back().total;
    EXPECT_EQ(c.requests, 1);
    EXPECT_EQ(c.badCrc, 1);
    EXPECT_EQ(c.cutShort, 1);
    EXPECT_EQ(c.noiseBytes, 5);
}

} // namespace

namespace {

std::vector<LineEvent> FrameIn(qint64 ms, const Frame& frame, const char* preamble = "FF") {
    Frame bytes = Hex(preamble);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    std::vector<LineEvent> out;
    out.push_back(LineEvent{LineEventKind::Bytes, LineDirection::In, ms * 1000, Q(bytes), 0});
    return out;
}

Frame FlowAnswerOf(const proto::FlowSlots& sender, int slot) {
    std::array<std::uint8_t, proto::kFlowAnswerSize> answer{};
    proto::BuildFlowAnswer(
        proto::BuildFlowRequest(sender.ImitAddr[std::size_t(slot)], sender.ImitNitka[std::size_t(slot)]),
        answer, slot, sender, 1000);
    return Frame(answer.begin(), answer.end());
}

// A line the tool only listens to: the controller's table exchange, two flow computers polled, one
// answering in each byte order, noise, an answer with a broken checksum and a frame that stops.
TEST_F(MonitorDecode, ListeningReadsEveryFrameOfTheLine) {
    proto::FlowSlots speakers; // what the flow computers on the line send
    speakers.ImitFlIndex = 1;
    speakers.ImitRashod = {3600.0, 7200.0, 0};
    speakers.ImitMsbFirst = {true, false, true};
    const auto request = [](std::uint8_t addr) {
        const auto r = proto::BuildFlowRequest(addr, 1);
        return Frame(r.begin(), r.end());
    };
    Frame broken = FlowAnswerOf(speakers, 0);
    broken.back() ^= 0x01;
    LineLog log;
    log.listenOnly({{{2, 1}, false}}, 0); // what the listener was told
    log.lineEvents(Join({FrameIn(0, WithCrc("CC FF 00 01 00 04 00 FF"), "FF FF FF"),
                         FrameIn(100, WithCrc(kTable4)), FrameIn(200, request(1), ""),
                         FrameIn(210, FlowAnswerOf(speakers, 0)), FrameIn(300, request(2), ""),
                         FrameIn(310, FlowAnswerOf(speakers, 1)), FrameIn(400, Hex("13 27 11"), ""),
                         FrameIn(410, broken), FrameIn(500, Hex("CC FF 0A 01 00"), "FF FF FF")}));
    log.process(2'000'000);
    using C = RowCause;
    const std::vector<std::pair<C, const char*>> expected = {
        {C::ControllerRequest, "чтение: таблица 4 (конфигурация)"},
        {C::ControllerAnswer, "таблица 4 (конфигурация): "},
        {C::FlowRequest, "запрос расхода: адрес 1, нитка 1"},
        {C::FlowAnswer, "ответ: адрес 1, нитка 1, расход 3600.000 м3/ч"},
        {C::FlowRequest, "запрос расхода: адрес 2, нитка 1"},
        {C::FlowAnswer, "ответ: адрес 2, нитка 1, расход 7200.000 м3/ч"},
        {C::Noise, "пропущено байт шума: 3"},
        {C::BadCrc, "адрес 1, нитка 1, неверная контрольная сумма"},
        {C::CutShort, "кадр оборван: принято 5 байт"},
    };
    const std::vector<LineRow> rows = log.takeRows();
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].cause, expected[i].first) << i;
        EXPECT_TRUE(rows[i].meaning.contains(QString::fromUtf8(expected[i].second)))
            << rows[i].meaning.toStdString();
    }
    EXPECT_EQ(DirectionText(rows[0]), QStringLiteral("к контроллеру"));
    EXPECT_EQ(DirectionText(rows[3]), QStringLiteral("ответ"));
    const JobCounters& job = log.jobs().back();
    EXPECT_EQ(job.total, (Counters{3, 3, 1, 1, 3, 0, 0}));
    EXPECT_EQ(job.runs.at({1, 1}), (Counters{1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(job.runs.at({2, 1}), (Counters{1, 1, 0, 0, 0, 0, 0}));
}

} // namespace
