// Arbitrary bytes from the serial line, split into arrival chunks at arbitrary times, collected by
// ReceiveFrame on the fake port, then judged by every answer check and every table acceptance. The typed
// answer check is held to a model of the checks in their order, and the frame hunter to ReceiveFrame
// whenever the bytes came without a pause.
//
// Input layout (FuzzedDataProvider): the line bytes are taken from the front, the control values
// (software version, start tick, chunk lengths and gaps) from the back, so a seed is a readable answer
// followed by a few control bytes.
#include "CfgRecord.h"
#include "FakePort.h"
#include "FrameHunter.h"
#include "FuzzSupport.h"
#include "Protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// The answer as received: every check starts from these bytes, so none sees what an earlier one did.
struct Arrived {
    std::array<quint8, kAnswerBufferSize> bytes;
    int count;
};

// What a read answer is, written from the checks' contract: the first failed check in their order.
proto::AnswerOutcome ModelReadOutcome(const Arrived& rx) {
    using O = proto::AnswerOutcome;
    const auto& a = rx.bytes;
    const int n = a[2];
    if (rx.count <= 0)
        return O::Silence;
    if (n < 6)
        return O::BadLength;
    if (rx.count < n)
        return O::CutShort;
    const quint16 crc = proto::Crc16Modbus(a.data(), std::size_t(n - 2));
    if (a[std::size_t(n - 2)] != (crc & 0xFF) || a[std::size_t(n - 1)] != (crc >> 8))
        return O::BadCrc;
    if (a[3] != 0x81)
        return O::WrongFunction;
    if (a[7] == 0 || a[7] != n - 10)
        return O::WrongCount;
    return O::Ok;
}

void CheckAll(Link& link, const Arrived& rx, quint8 version) {
    const proto::ParsedAnswer frame = proto::CheckAnswer(rx.bytes, rx.count, 0);
    const bool valid = !proto::IsFrameFault(frame.outcome);
    if (valid) {
        // A valid frame is complete, at least 6 bytes long and carries its own CRC.
        Require(rx.count >= 6 && rx.count <= 255 && rx.count >= rx.bytes[2]);
        const int n = rx.bytes[2];
        const quint16 crc = proto::Crc16Modbus(rx.bytes.data(), std::size_t(n - 2));
        Require(rx.bytes[n - 2] == (crc & 0xFF) && rx.bytes[n - 1] == (crc >> 8));
        proto::IsWriteAck(rx.bytes);
    }

    for (quint8 fn : {proto::kFnReadTable, proto::kFnWriteTable}) {
        const proto::ParsedAnswer checked = proto::CheckAnswer(rx.bytes, rx.count, fn);
        Require(!checked.ok() || valid);
        Require(proto::IsFrameFault(checked.outcome) == !valid);
    }

    const proto::ParsedAnswer parsed = proto::CheckAnswer(rx.bytes, rx.count, proto::kFnReadTable);
    const bool readOk = parsed.ok();
    Require(parsed.outcome == proto::ParseReadAnswer(rx.bytes, rx.count).outcome);
    Require(parsed.outcome == ModelReadOutcome(rx));
    const int dataLength = readOk ? int(parsed.data.size()) : -1;

    CfgContext cfg;
    cfg.SoftVersion = version;
    if (AcceptIdentAnswer(parsed, cfg))
        Require(readOk && dataLength >= 14 && cfg.SoftVersion == rx.bytes[11]);

    bool configured = false;
    if (AcceptStateAnswer(parsed, &configured))
        Require(readOk && dataLength >= 5 && configured == (rx.bytes[12] == 0));

    cfg.SoftVersion = version;
    const CfgRecord before = cfg.record;
    if (AcceptCfgAnswer(parsed, cfg)) {
        const int expected = version >= 2 ? 23 : 21;
        Require(readOk && dataLength == expected);
        const auto image = cfg.record.encode();
        for (int i = 0; i < expected; ++i)
            Require(image[std::size_t(i)] == rx.bytes[std::size_t(8 + i)]);
        // Round trip through the form: whatever the controller sent, the form values are in range and
        // the record built back from them is a valid image.
        CfgFormValues form;
        RecordToForm(cfg, form);
        Require(form.flIndex >= 0 && form.flIndex <= 2);
        FormToRecordRest(cfg, form);
        Require(cfg.record.FlCount >= 1 && cfg.record.FlCount <= 3);
        quint8 body[proto::kConfigRecordSize];
        const int count = BuildCfgWriteBody(cfg, body);
        Require(count == (version >= 2 ? 23 : 20));
        Require(BuildWriteRequest(link, 4, body, count));
        Require(link.RequestBuffer()[2] == 26 + count);
    } else {
        Require(cfg.record == before);
    }
}

// Without a pause no time-out can end the collection early: the hunter fed the same bytes must stop
// where ReceiveFrame did, with the same bytes.
void CheckHunter(const std::string& line, bool paused, const Arrived& rx) {
    std::array<quint8, kAnswerBufferSize> buffer{};
    proto::FrameHunter h(proto::kAnswerStart, buffer);
    int taken = 0;
    for (char c : line) {
        if (h.complete() || h.full())
            break;
        const proto::HuntStep step = h.feed(quint8(c));
        taken += step == proto::HuntStep::Taken || step == proto::HuntStep::Complete;
    }
    Require(h.noiseSkipped() + taken <= int(line.size()));
    Require(h.frame().size() <= std::size_t(h.count()));
    if (paused)
        return;
    const int reported = h.complete() ? h.frameLength() : h.count();
    Require(reported == rx.count);
    for (std::size_t i = 0; i < std::size_t(h.count()); ++i)
        Require(buffer[i] == rx.bytes[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const quint8 version = in.ConsumeIntegral<quint8>();
    // Start near the 32-bit wrap of the tick now and then: time-outs use unsigned differences.
    const quint32 startMs = in.ConsumeBool() ? 0xFFFFFE00u : 1000u;
    const std::size_t maxChunk = in.ConsumeIntegralInRange<std::size_t>(1, 600);

    ManualClock clock(startMs);
    FakePort port(clock);
    Require(port.open(QStringLiteral("fuzz"), proto::kControllerBaud, nullptr));
    Link link;
    link.setPort(&port);
    link.setClock(&clock);
    link.setRtsControl(0);
    // Stale bytes of an earlier exchange: a check that reads beyond what arrived sees them.
    link.AnswerBuffer().fill(in.ConsumeIntegral<quint8>());

    quint32 at = startMs + 1; // after the purge at the start of the collection
    std::string line;
    bool paused = false;
    while (in.remaining_bytes() > 0) {
        const std::size_t len = in.ConsumeIntegralInRange<std::size_t>(1, maxChunk);
        // Mostly short gaps; now and then one beyond the 500 ms time-out.
        const quint32 gap =
            in.ConsumeIntegralInRange<quint32>(0, 3) == 0 ? in.ConsumeIntegralInRange<quint32>(0, 700) : 0;
        const std::string chunk = in.ConsumeBytesAsString(len);
        if (chunk.empty())
            break;
        at += gap;
        paused = paused || gap > 0;
        line += chunk;
        port.arrive(at, QByteArray(chunk.data(), qsizetype(chunk.size())));
    }

    Arrived rx;
    rx.count = ReceiveFrame(link, 500, 500, proto::kAnswerStart, false);
    Require(rx.count >= 0 && rx.count <= kAnswerBufferSize);
    rx.bytes = link.AnswerBuffer();
    CheckHunter(line, paused, rx);

    for (quint8 v : {quint8(0), quint8(1), quint8(2), quint8(3), version})
        CheckAll(link, rx, v);
    return 0;
}
