// The diagnosis and the counters on a recorded stretch of line, the bound of the rows kept, and the rows
// shown by kind.
#include "KindFilter.h"
#include "LineLog.h"
#include "MonitorEvents.h"
#include "RowModel.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace monitor;

namespace {

using K = LineEventKind;
using D = LineDirection;

const char* const kAnswer11 = "55 01 17 86 01 45 61 00 00 41 20 00 00 00 00 00 00 41 20 00 00 D7 CD";

bool Says(const QStringList& lines, const char* part) {
    return lines.join(QLatin1Char('\n')).contains(QString::fromUtf8(part));
}

struct Step {
    qint64 atMs;                   // the diagnosis is asked for at this time, after the events
    std::vector<LineEvent> events; // what the line brought before
    std::vector<const char*> says; // every diagnosis line expected then (by a part of it)
};

// An imitation of run 1 of address 1: the controller also polls address 5, falls silent, sends bytes at
// a wrong speed, and its requests come back with bad checksums (one with a bit flipped in the address,
// which names address 3 and must blame no run); then the tool hears its own echo.
TEST(MonitorDiagnosis, RulesOnARecordedImitation) {
    proto::FlowSlots flowSlots;
    LineLog log;
    log.setFlowSlots(&flowSlots);
    log.beginJob(JobKind::Imitation, 0);
    const std::vector<Step> steps = {
        {1000, Join({BytesIn(100, "AA 01 07 06 01 4E 45"), {Ev(K::Frame, D::Out, 110, kAnswer11)}}), {}},
        {2000, BytesIn(1500, "AA 05 07 06 01 4F 75"), {"не имитируемые нитки (адрес 5, нитка 1)"}},
        // Nothing for more than 10 s after the last byte.
        {11600, {}, {"не имитируемые нитки", "Более 10 с от контроллера не пришло ни одного байта"}},
        // Bytes again, but no request in them for more than 5 s.
        {17000, BytesIn(11700, "13 57 9B 00 13 57", 1000), {"не имитируемые", "вероятно, скорость линии"}},
        {17100,
         Join({BytesIn(17050, "AA 01 07 06 01 00 00"), BytesIn(17060, "AA 01 07 06 01 00 00"),
               BytesIn(17070, "AA 03 07 06 01 4E 45")}),
         {"не имитируемые нитки (адрес 5, нитка 1):", "3 раза передал кадр с неверной контрольной суммой"}},
        // The tool's answer comes back whole on a two-wire line: an echo, and no noise.
        {17500,
         Join({{Ev(K::Bytes, D::Out, 17140, "FF"), Ev(K::Frame, D::Out, 17140, kAnswer11)},
               {Ev(K::Bytes, D::In, 17150, (std::string("FF ") + kAnswer11).c_str()),
                Ev(K::Echo, D::In, 17150, "", 24)}}),
         {"не имитируемые", "неверной контрольной", "с эхом"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.atMs);
        log.lineEvents(s.events);
        log.process(s.atMs * 1000);
        const QStringList lines = log.diagnosis(s.atMs * 1000);
        EXPECT_EQ(lines.size(), qsizetype(s.says.size())) << lines.join(QLatin1Char('\n')).toStdString();
        for (const char* part : s.says)
            EXPECT_TRUE(Says(lines, part)) << part << "\n" << lines.join(QLatin1Char('\n')).toStdString();
    }

    // Once the imitation has ended, a quiet line is no fault.
    log.endJob(17'300'000);
    EXPECT_FALSE(Says(log.diagnosis(40'000'000), "Более 10 с"));

    ASSERT_EQ(log.jobs().size(), 1u);
    const JobCounters& job = log.jobs().back();
    EXPECT_EQ(job.kind, JobKind::Imitation);
    EXPECT_EQ(job.total.requests, 2);
    EXPECT_EQ(job.total.answers, 2);
    EXPECT_EQ(job.total.badCrc, 3);
    EXPECT_EQ(job.total.notImitated, 1);
    EXPECT_EQ(job.total.noiseBytes, 6);
    EXPECT_EQ(job.runs.size(), 2u);
    EXPECT_EQ(job.runs.at({1, 1}), (Counters{1, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(job.runs.at({5, 1}), (Counters{1, 0, 0, 0, 0, 0, 1}));

    // A configure job starts from zero; its time-outs and the controller's bad answers are its own.
    log.beginJob(JobKind::Configure, 20'000'000);
    log.lineEvents(
        {Ev(K::Frame, D::Out, 20001, "CC FF 0A 01 00 00 00 FF 3E 2B"), Ev(K::Silence, D::In, 20502)});
    log.process(20'600'000);
    EXPECT_TRUE(log.diagnosis(20'600'000).isEmpty());
    ASSERT_EQ(log.jobs().size(), 2u);
    EXPECT_EQ(log.jobs().back().total, (Counters{1, 0, 0, 0, 0, 1, 0}));
    log.resetCounters();
    ASSERT_EQ(log.jobs().size(), 1u);
    EXPECT_EQ(log.jobs().back().total, Counters{});
}

// The ring keeps the newest rows up to its bound, whatever the batch sizes.
TEST(MonitorRows, RingKeepsTheNewestUpToItsBound) {
    auto batch = [](int from, int n) {
        std::vector<LineRow> rows;
        rows.resize(std::size_t(n));
        for (int i = 0; i < n; ++i)
            rows[std::size_t(i)].timeUs = from + i;
        return rows;
    };
    RowModel model;
    ASSERT_EQ(model.capacity(), 100'000);
    int next = 0;
    for (int size : {1, 999, 60'000, 39'000, 1'000, 2'500}) {
        model.appendRows(batch(next, size));
        next += size;
    }
    EXPECT_EQ(model.rowCount(), 100'000);
    EXPECT_EQ(model.row(0).timeUs, next - 100'000);
    EXPECT_EQ(model.row(99'999).timeUs, next - 1);

    RowModel small(10);
    small.appendRows(batch(0, 25));
    EXPECT_EQ(small.rowCount(), 10);
    EXPECT_EQ(small.row(0).timeUs, 15);
}

// The rows shown follow the ring as it drops its oldest and as kinds are switched; a held row (the
// selection) stays with its frame, and lets go once that is dropped or hidden.
TEST(MonitorRows, FilterFollowsTheRingAndTheHeldRows) {
    RowModel ring(10);
    KindFilter filter(ring);
    const auto append = [&](int from, int n) { // every third frame a fault, the rest requests
        std::vector<LineRow> rows(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            rows[std::size_t(i)].timeUs = from + i;
            rows[std::size_t(i)].kind = (from + i) % 3 ? RowKind::Request : RowKind::Fault;
        }
        ring.appendRows(std::move(rows));
    };
    const auto times = [&](const QModelIndex& i) {
        return i.isValid() ? ring.row(filter.sourceRow(i.row())).timeUs : -1;
    };
    append(0, 8);
    const QPersistentModelIndex held4(filter.index(4, 3)), held1(filter.index(1, 0)),
        held6(filter.index(6, 0));
    const std::function<void()> steps[] = {
        [&] { append(8, 5); }, [&] { filter.setShown(RowKind::Fault, false); }, [&] { append(13, 2); },
        [&] { filter.setShown(RowKind::Fault, true); }};
    const std::vector<qint64> shown[] = {{3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                                         {4, 5, 7, 8, 10, 11},
                                         {5, 7, 8, 10, 11, 13, 14},
                                         {5, 6, 7, 8, 9, 10, 11, 12, 13, 14}};
    const qint64 held[][3] = {{4, -1, 6}, {4, -1, -1}, {-1, -1, -1}, {-1, -1, -1}};
    for (int k = 0; k < 4; ++k) {
        steps[k]();
        std::vector<qint64> got;
        for (int r = 0; r < filter.rowCount(); ++r)
            got.push_back(times(filter.index(r, 0)));
        EXPECT_EQ(got, shown[k]) << "step " << k;
        EXPECT_EQ(times(held4), held[k][0]) << "step " << k;
        EXPECT_EQ(times(held1), held[k][1]) << "step " << k;
        EXPECT_EQ(times(held6), held[k][2]) << "step " << k;
        EXPECT_TRUE(!held4.isValid() || held4.column() == 3);
    }
    EXPECT_EQ(filter.data(filter.index(0, RowModel::MeaningColumn), Qt::DisplayRole),
              ring.data(ring.index(0, RowModel::MeaningColumn), Qt::DisplayRole));
}

} // namespace
