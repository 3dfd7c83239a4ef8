#include "SimController.h"
#include "SimTestBytes.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace sim;

namespace {

const Bytes kReadT0 = H("CC FF 0A 01 00 00 00 FF 3E 2B");
const Bytes kReadT7 = H("CC FF 0A 01 00 07 00 FF 8F EA");
const Bytes kReadT4 = H("CC FF 0A 01 00 04 00 FF 7F EA");
const Bytes kFactoryT4 = H("01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 51 01 01");

ControllerState State(int version, bool configured = true) {
    return ControllerState{version, configured, DefaultTable4(version)};
}

// A table 4 write request as the tool sends it: 16+1 zero bytes, table, first field, count, data, CRC.
Bytes WriteRequest(const Bytes& data, std::uint8_t table = 4, std::uint8_t first = 0) {
    Bytes f = {0xCC, 0xFF, std::uint8_t(26 + data.size()), 0x02};
    f.resize(21, 0);
    f.push_back(table);
    f.push_back(first);
    f.push_back(std::uint8_t(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    return WithCrc(f);
}

// The answer the controller must give: 33 FF N fn 00 00 00 count data CRC.
Bytes Answer(std::uint8_t fn, const Bytes& data) {
    Bytes f = {0x33, 0xFF, std::uint8_t(10 + data.size()), fn, 0, 0, 0, std::uint8_t(data.size())};
    f.insert(f.end(), data.begin(), data.end());
    return WithCrc(f);
}

Bytes Data(const Bytes& answer) {
    return Bytes(answer.begin() + 8, answer.end() - 2);
}

Bytes Seq(int n, std::uint8_t from) {
    Bytes b;
    for (int i = 0; i < n; ++i)
        b.push_back(std::uint8_t(from + i));
    return b;
}

} // namespace

TEST(SimControllerRead, AnswersTheThreeTablesByteForByte) {
    struct Row {
        int version;
        bool configured;
        Bytes request;
        Bytes data;
    };
    const Bytes ident3 = H("2F 01 00 03 00 00 00 00 00 00 00 00 00 00");
    const Bytes ident1 = H("2F 01 00 01 00 00 00 00 00 00 00 00 00 00");
    const Row rows[] = {
        {3, true, kReadT0, ident3},
        {1, true, kReadT0, ident1},
        {3, true, kReadT7, H("00 00 00 00 00 00 00 00")},
        {3, false, kReadT7, H("00 00 00 00 01 00 00 00")},
        {3, true, kReadT4, kFactoryT4},
        {2, true, kReadT4, kFactoryT4},
        {1, true, kReadT4, Bytes(kFactoryT4.begin(), kFactoryT4.begin() + 21)},
        {0, true, kReadT4, Bytes(kFactoryT4.begin(), kFactoryT4.begin() + 21)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("version " + std::to_string(r.version) + " table " + std::to_string(r.request[5]));
        SimController c(State(r.version, r.configured), {});
        const Decision d = c.decide(r.request);
        ASSERT_TRUE(d.answer.has_value()) << d.meaning;
        EXPECT_EQ(*d.answer, Answer(0x81, r.data));
    }
}

TEST(SimControllerRead, PartialReadFromAField) {
    SimController c(State(3), {});
    // Fields 11..13 of table 4: run 1 address, run, speed code.
    const Decision d = c.decide(WithCrc(H("CC FF 0A 01 00 04 0B 03")));
    ASSERT_TRUE(d.answer);
    EXPECT_EQ(Data(*d.answer), H("01 01 02"));
    // A first field past the end of the table gets no answer.
    EXPECT_FALSE(c.decide(WithCrc(H("CC FF 0A 01 00 04 17 FF"))).answer);
}

TEST(SimControllerRead, IgnoresWhatTheControllerWouldNotAnswer) {
    SimController c(State(3), {});
    Bytes badCrc = kReadT0;
    badCrc[9] ^= 0x01;
    const Bytes cases[] = {
        badCrc,
        WithCrc(H("CC FF 0A 01 00 05 00 FF")), // table 5 is not served
        WithCrc(H("CC 01 0A 01 00 00 00 FF")), // another address
        WithCrc(H("CC FF 0A 03 00 00 00 FF")), // unknown function
        WithCrc(H("CC FF 0A 01 01 00 00 FF")), // byte 4 must be 0
        WithCrc(H("CC FF 0A 01 00 00 00 00")), // no fields asked
    };
    for (const Bytes& f : cases) {
        const Decision d = c.decide(f);
        EXPECT_FALSE(d.answer) << ToHex(f) << ": " << d.meaning;
        EXPECT_FALSE(d.stateChanged);
    }
}

TEST(SimControllerWrite, StoresTheRecordAcknowledgesAndReadsItBack) {
    SimController c(State(3, /*configured*/ false), {});
    const Bytes record = Seq(23, 0x10);
    const Decision w = c.decide(WriteRequest(record));
    ASSERT_TRUE(w.answer) << w.meaning;
    EXPECT_TRUE(w.stateChanged);
    EXPECT_EQ(*w.answer, WithCrc(H("33 FF 0A 82 00 00 00 00")));
    EXPECT_EQ(Data(*c.decide(kReadT4).answer), record);
    // A stored configuration makes the controller configured.
    EXPECT_EQ(Data(*c.decide(kReadT7).answer)[4], 0);
}

TEST(SimControllerWrite, SizeFollowsTheSoftwareVersion) {
    struct Row {
        int version;
        int count;
        bool accepted;
    };
    const Row rows[] = {
        {3, 23, true}, {2, 23, true}, {3, 20, false}, {3, 21, false},
        {1, 20, true}, {0, 20, true}, {1, 23, false}, {1, 21, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("version " + std::to_string(r.version) + " count " + std::to_string(r.count));
        SimController c(State(r.version), {});
        const Bytes before = c.state().table4;
        const Bytes data = Seq(r.count, 0x40);
        const Decision d = c.decide(WriteRequest(data));
        EXPECT_EQ(d.answer.has_value(), r.accepted) << d.meaning;
        const Bytes& after = c.state().table4;
        ASSERT_EQ(after.size(), before.size()); // a write never changes the table's size
        if (r.accepted) {
            EXPECT_TRUE(std::equal(data.begin(), data.end(), after.begin()));
            // Version 1 writes 20 of its 21 bytes: byte 20 keeps its old value.
            if (r.count < int(after.size())) {
                EXPECT_EQ(after[20], before[20]);
            }
        } else {
            EXPECT_EQ(after, before);
        }
    }
}

TEST(SimControllerWrite, RefusesOtherTablesOffsetsAndDirtyHeaders) {
    SimController c(State(3), {});
    Bytes dirty = WriteRequest(Seq(23, 1));
    dirty[10] = 0x01;
    dirty = WithCrc(Bytes(dirty.begin(), dirty.end() - 2));
    Bytes wrongLength = WriteRequest(Seq(23, 1));
    wrongLength[23] = 22; // count disagrees with the frame length
    wrongLength = WithCrc(Bytes(wrongLength.begin(), wrongLength.end() - 2));
    const Bytes cases[] = {WriteRequest(Seq(23, 1), 0), WriteRequest(Seq(23, 1), 7),
                           WriteRequest(Seq(22, 1), 4, 1), dirty, wrongLength};
    for (const Bytes& f : cases) {
        const Decision d = c.decide(f);
        EXPECT_FALSE(d.answer) << d.meaning;
        EXPECT_EQ(c.state().table4, DefaultTable4(3));
    }
}

TEST(SimControllerLine, AssemblesRequestsFromTheByteStream) {
    SimController c(State(3), {});
    // Preamble and noise with two false starts: one announcing a length no request has (3), one a
    // length (0xFF) that would swallow the requests behind it. Then two requests back to back.
    Bytes line = H("FF FF 12 CC FF 03 CC 03 FF FF FF");
    line.insert(line.end(), kReadT0.begin(), kReadT0.end());
    line.insert(line.end(), {0xFF, 0xFF, 0xFF});
    line.insert(line.end(), kReadT7.begin(), kReadT7.end());
    std::vector<SimController::Exchange> got;
    std::int64_t t = 0;
    for (std::uint8_t b : line)
        for (auto& x : c.feed(b, t += 8))
            got.push_back(std::move(x));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].request, kReadT0);
    EXPECT_EQ(got[1].request, kReadT7);
    // On the wire each answer follows three 0xFF bytes.
    Bytes wire = {0xFF, 0xFF, 0xFF};
    const Bytes a = *got[0].decision.answer;
    wire.insert(wire.end(), a.begin(), a.end());
    EXPECT_EQ(got[0].wire, wire);
}

TEST(SimControllerLine, FindsARequestBehindAFrameWithABadCrc) {
    SimController c(State(3), {});
    // A false start whose length byte (0x0A) makes it swallow the beginning of the real request.
    Bytes line = H("CC FF 0A 00 00");
    line.insert(line.end(), kReadT4.begin(), kReadT4.end());
    std::vector<SimController::Exchange> got;
    for (std::uint8_t b : line)
        for (auto& x : c.feed(b, 0))
            got.push_back(std::move(x));
    ASSERT_FALSE(got.empty());
    EXPECT_FALSE(got.front().decision.answer);
    EXPECT_EQ(got.back().request, kReadT4);
    EXPECT_TRUE(got.back().decision.answer);
}

TEST(SimControllerLine, SilenceInsideARequestDiscardsIt) {
    SimController c(State(3), {});
    std::size_t answers = 0;
    auto feedAll = [&](const Bytes& b, std::int64_t& t, int step) {
        for (std::uint8_t x : b)
            answers += c.feed(x, t += step).size();
    };
    std::int64_t t = 0;
    feedAll(Bytes(kReadT0.begin(), kReadT0.begin() + 5), t, 8);
    t += kRequestGapMs + 1;
    feedAll(Bytes(kReadT0.begin() + 5, kReadT0.end()), t, 8);
    EXPECT_EQ(answers, 0u);
    // The same gap just within the limit keeps the request.
    feedAll(Bytes(kReadT0.begin(), kReadT0.begin() + 5), t, 8);
    t += kRequestGapMs - 8;
    feedAll(Bytes(kReadT0.begin() + 5, kReadT0.end()), t, 8);
    EXPECT_EQ(answers, 1u);
}

namespace {

// Runs n table-0 reads through a controller with the given faults and returns what went on the wire.
std::vector<Bytes> RunFaults(const FaultOptions& f, int n, FaultCounters* counters = nullptr) {
    SimController c(State(3), f);
    std::vector<Bytes> wires;
    for (int i = 0; i < n; ++i)
        for (std::uint8_t b : kReadT0)
            for (auto& x : c.feed(b, 0))
                wires.push_back(x.wire);
    if (counters)
        *counters = c.faults();
    return wires;
}

Bytes CleanWire() {
    Bytes w = {0xFF, 0xFF, 0xFF};
    const Bytes a = Answer(0x81, H("2F 01 00 03 00 00 00 00 00 00 00 00 00 00"));
    w.insert(w.end(), a.begin(), a.end());
    return w;
}

} // namespace

TEST(SimControllerFaults, EachFaultHitsEveryNthAnswerAndIsCounted) {
    const Bytes clean = CleanWire();
    FaultCounters k;

    auto w = RunFaults({.drop = 3}, 6, &k);
    ASSERT_EQ(w.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(w[std::size_t(i)].empty(), (i + 1) % 3 == 0) << i;
    EXPECT_EQ(k.dropped, 2);

    w = RunFaults({.corrupt = 2}, 4, &k);
    EXPECT_EQ(w[0], clean);
    ASSERT_EQ(w[1].size(), clean.size());
    EXPECT_TRUE(std::equal(clean.begin(), clean.end() - 1, w[1].begin())); // only the CRC differs
    EXPECT_NE(w[1].back(), clean.back());
    EXPECT_EQ(k.corrupted, 2);

    w = RunFaults({.truncate = 1}, 5, &k);
    for (const Bytes& t : w) {
        ASSERT_GT(t.size(), 3u);
        EXPECT_LT(t.size(), clean.size());
        EXPECT_TRUE(std::equal(t.begin(), t.end(), clean.begin())); // a prefix of the real answer
    }
    EXPECT_EQ(k.truncated, 5);

    w = RunFaults({.noise = 2}, 40, &k);
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (i % 2 == 0) {
            EXPECT_EQ(w[i], clean);
            continue;
        }
        ASSERT_GT(w[i].size(), clean.size());
        const std::size_t extra = w[i].size() - clean.size();
        EXPECT_LE(extra, 8u);
        EXPECT_TRUE(std::equal(clean.begin(), clean.end(), w[i].begin() + std::ptrdiff_t(extra)));
        // Noise never holds the answer start byte, so it cannot fake a frame start.
        EXPECT_EQ(std::count(w[i].begin(), w[i].begin() + std::ptrdiff_t(extra), 0x33), 0);
    }
    EXPECT_EQ(k.noised, 20);

    w = RunFaults({.silent = true}, 3, &k);
    for (const Bytes& s : w)
        EXPECT_TRUE(s.empty());
    EXPECT_EQ(k.dropped, 3);
}

TEST(SimControllerFaults, SameSeedSameBytesOtherSeedOtherBytes) {
    const FaultOptions a{.corrupt = 3, .truncate = 2, .noise = 1, .seed = 7};
    FaultOptions b = a;
    b.seed = 8;
    EXPECT_EQ(RunFaults(a, 30), RunFaults(a, 30));
    EXPECT_NE(RunFaults(a, 30), RunFaults(b, 30));
}

TEST(SimControllerState, FileRoundTripAndRefusals) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("state").toStdString();
    const ControllerState saved{3, false, Seq(23, 0x20)};
    // A link planted where a fixed temporary name would be is never written through.
    const std::string victim = dir.filePath("victim").toStdString();
    std::ofstream(victim) << "keep\n";
    ASSERT_EQ(::symlink(victim.c_str(), (path + ".tmp").c_str()), 0);
    std::string err;
    ASSERT_TRUE(SaveState(path, saved, &err)) << err;
    std::string victimText;
    std::getline(std::ifstream(victim), victimText);
    EXPECT_EQ(victimText, "keep");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 3) << "nothing left behind";

    ControllerState loaded = State(1);
    ASSERT_TRUE(LoadState(path, loaded, &err)) << err;
    EXPECT_EQ(loaded.table4, saved.table4);
    EXPECT_FALSE(loaded.configured);
    EXPECT_EQ(loaded.softVersion, 1); // the version is an option, not state

    for (const char* text :
         {"table4 01 02\n", "configured 1\n", "table4 zz\n", "speed 9\n",
          "table4 01 0A 0A 2C 01 00 00 C8 42 64 00 01 01 02 02 01 02 03 01 02 51\nconfigured 2\n"}) {
        std::ofstream(path, std::ios::trunc) << text;
        ControllerState s = State(3);
        EXPECT_FALSE(LoadState(path, s, &err)) << text;
        EXPECT_EQ(s.table4, DefaultTable4(3)) << "a refused file leaves the state alone";
    }
}

TEST(SimControllerState, HexText) {
    Bytes b;
    EXPECT_TRUE(ParseHex("01 0a:FF-10,7f", b));
    EXPECT_EQ(b, H("01 0A FF 10 7F"));
    EXPECT_TRUE(ParseHex("010AFF", b));
    EXPECT_EQ(b, H("01 0A FF"));
    for (const char* bad : {"0", "0 1", "xy", "01 0g"})
        EXPECT_FALSE(ParseHex(bad, b)) << bad;
}
