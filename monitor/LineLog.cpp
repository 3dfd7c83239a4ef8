#include "LineLog.h"

#include "ControllerFrames.h"
#include "NumText.h"

#include <algorithm>

namespace monitor {

namespace {

std::span<const quint8> Span(const QByteArray& b) {
    return {reinterpret_cast<const quint8*>(b.constData()), std::size_t(b.size())};
}

QByteArray Bytes(const std::uint8_t* data, int n) {
    return QByteArray(reinterpret_cast<const char*>(data), n);
}

quint32 TickMs(qint64 us) {
    return quint32(quint64(us / 1000));
}

RowCause AnswerCause(const Meaning& m, proto::AnswerOutcome outcome) {
    if (m.kind == RowKind::Answer)
        return RowCause::ControllerAnswer;
    if (outcome == proto::AnswerOutcome::BadCrc)
        return RowCause::BadCrc;
    return outcome == proto::AnswerOutcome::CutShort ? RowCause::CutShort : RowCause::Other;
}

} // namespace

QString RunName(const RunKey& run) {
    return QStringLiteral("адрес %1, нитка %2").arg(run.first).arg(run.second);
}

void LineLog::lineEvents(const std::vector<LineEvent>& events) {
    // Only copied here: the bytes are shared, and the decoding waits for process().
    queue_.insert(queue_.end(), events.begin(), events.end());
}

void LineLog::process(qint64 nowUs) {
    for (std::size_t i = 0; i < queue_.size(); ++i) {
        const LineEvent& e = queue_[i];
        // The link tells the tool's own echo right after the read that brought it.
        const bool echoNext = i + 1 < queue_.size() && queue_[i + 1].kind == LineEventKind::Echo;
        if (e.kind == LineEventKind::Bytes && e.direction == LineDirection::In)
            handleBytesIn(e, echoNext ? queue_[i + 1].count : 0);
        else
            handle(e);
    }
    queue_.clear();
    if (role_ == LineRole::Controller)
        return;
    handleFlowRead(reader_.idle(TickMs(nowUs)), nowUs);
    // Noise is told once the line has been quiet for a flow computer's idle time, not byte by byte.
    if (watch_.lastByteInUs >= 0 && nowUs - watch_.lastByteInUs > qint64(proto::kFlowIdleMs) * 1000) {
        proto::FlowRead r;
        r.noiseBefore = reader_.takeNoise();
        handleFlowRead(r, nowUs);
    }
}

std::vector<LineRow> LineLog::takeRows() {
    return std::exchange(rows_, {});
}

void LineLog::beginJob(JobKind kind, qint64 nowUs) {
    // What came before belongs to the job before.
    process(nowUs);
    startJob(kind, nowUs);
    resetReader();
    role_ = kind == JobKind::Imitation ? LineRole::Imitation : LineRole::Controller;
}

void LineLog::endJob(qint64 nowUs) {
    process(nowUs);
    watch_.running = false;
}

void LineLog::resetCounters() {
    if (jobs_.empty())
        return;
    JobCounters& current = jobs_.back();
    current.total = {};
    current.runs.clear();
    jobs_.erase(jobs_.begin(), jobs_.end() - 1);
}

void LineLog::handle(const LineEvent& e) {
    switch (e.kind) {
    case LineEventKind::Bytes: // read bytes go through handleBytesIn
        sent_ = e.bytes;       // a transmission starts with its preamble
        break;
    case LineEventKind::Frame:
        handleFrame(e);
        break;
    case LineEventKind::Silence:
        addFault(e.timeUs, e.direction, QStringLiteral("нет ответа за время ожидания"));
        count(e.timeUs, &Counters::timeouts);
        break;
    case LineEventKind::CutShort:
        addFault(
            e.timeUs, e.direction,
            QStringLiteral("кадр оборван: принято %1 %2").arg(e.bytes.size()).arg(ByteNoun(e.bytes.size())),
            e.bytes, RowCause::CutShort);
        count(e.timeUs, &Counters::cutShort);
        break;
    case LineEventKind::Noise:
        noise(e.timeUs, e.direction, e.count);
        break;
    case LineEventKind::NotImitated:
        // With the imitated runs known the passive reading has told it already.
        // The imitation does not check the checksum; a frame that fails it names no run worth blaming.
        if (!flowSlots_) {
            const auto fields = proto::DecodeFlowRequest(Span(e.bytes));
            if (fields && fields->crcOk)
                notImitated(e.timeUs, {fields->addr, fields->run}, e.bytes);
        }
        break;
    case LineEventKind::PortLost:
        addFault(e.timeUs, e.direction, QStringLiteral("порт потерян: ") + QString::fromUtf8(e.bytes), {},
                 RowCause::PortLost);
        break;
    case LineEventKind::PortBack:
        addFault(e.timeUs, e.direction, QStringLiteral("порт открыт снова: ") + QString::fromUtf8(e.bytes),
                 {}, RowCause::PortBack);
        break;
    case LineEventKind::Echo:
        addFault(
            e.timeUs, e.direction,
            QStringLiteral("принята собственная передача (эхо): %1 %2").arg(e.count).arg(ByteNoun(e.count)),
            e.bytes);
        ++watch_.echoes;
        break;
    }
}

void LineLog::handleFrame(const LineEvent& e) {
    const auto bytes = Span(e.bytes);
    if (bytes.empty())
        return;
    if (e.direction == LineDirection::Out) {
        sent_ += e.bytes;
        if (bytes[0] == proto::kFlowAnswerStart) {
            enterRole(LineRole::Imitation, e.timeUs);
            addRow(e, DescribeFlowAnswer(bytes, flowSlots_), e.bytes, RowCause::FlowAnswer);
            const RunKey run{bytes.size() > 4 ? bytes[1] : quint8(0),
                             bytes.size() > 4 ? bytes[4] : quint8(0)};
            count(e.timeUs, &Counters::answers, 1, &run);
            return;
        }
        enterRole(LineRole::Controller, e.timeUs);
        asked_ = AskedBy(bytes);
        addRow(e, DescribeControllerRequest(bytes), e.bytes, RowCause::ControllerRequest);
        count(e.timeUs, &Counters::requests);
        return;
    }
    if (bytes[0] == proto::kFlowRequestStart) {
        // The imitation took a request; the passive reading has shown it with the rest of the line.
        enterRole(LineRole::Imitation, e.timeUs);
        return;
    }
    const Meaning m = DescribeControllerAnswer(bytes, asked_, e.outcome);
    addRow(e, m, e.bytes, AnswerCause(m, e.outcome));
    if (m.kind == RowKind::Answer) {
        count(e.timeUs, &Counters::answers);
    } else if (e.outcome == proto::AnswerOutcome::BadCrc) {
        count(e.timeUs, &Counters::badCrc);
        ++watch_.controllerBadCrc;
    }
}

void LineLog::handleBytesIn(const LineEvent& e, int echo) {
    watch_.lastByteInUs = e.timeUs;
    if (role_ == LineRole::Controller)
        return;
    for (const char c : e.bytes) {
        // The bytes the link recognised as the tool's own, in the order they were sent: no noise.
        if (echo > 0 && !sent_.isEmpty() && sent_.front() == c) {
            sent_.remove(0, 1);
            --echo;
            continue;
        }
        watch_.bytesSinceRequest = true;
        handleFlowRead(reader_.feed(quint8(c), TickMs(e.timeUs)), e.timeUs);
    }
}

void LineLog::handleFlowRead(const proto::FlowRead& r, qint64 timeUs) {
    if (role_ == LineRole::Unknown && (r.kind != proto::FlowRead::Kind::None || r.noiseBefore > 0))
        role_ = LineRole::Imitation; // requests on the line: the controller polls, the tool listens
    if (r.noiseBefore > 0)
        noise(timeUs, LineDirection::In, r.noiseBefore);
    const QByteArray bytes = Bytes(r.bytes.data(), r.length);
    if (r.kind == proto::FlowRead::Kind::CutShort) {
        addFault(timeUs, LineDirection::In,
                 r.bytes[0] == proto::kFlowRequestStart
                     ? QStringLiteral("запрос оборван: принято %1 из 7 байт").arg(r.length)
                     : QStringLiteral("кадр оборван: принято %1 %2").arg(r.length).arg(ByteNoun(r.length)),
                 bytes, RowCause::CutShort);
        count(timeUs, &Counters::cutShort);
        return;
    }
    if (r.kind == proto::FlowRead::Kind::Frame) {
        handleHeard(bytes, r.crcOk, timeUs);
        return;
    }
    if (r.kind != proto::FlowRead::Kind::Request)
        return;
    const RunKey run{r.bytes[1], r.bytes[4]};
    LineEvent e{LineEventKind::Frame, LineDirection::In, timeUs, bytes, 0};
    addRow(e, DescribeFlowRequest(Span(bytes), r.crcOk), bytes,
           r.crcOk ? RowCause::FlowRequest : RowCause::BadCrc);
    watch_.lastRequestUs = timeUs;
    watch_.bytesSinceRequest = false;
    if (!r.crcOk) {
        // One flipped bit may name any address and run: the frame counts as a bad checksum alone.
        count(timeUs, &Counters::badCrc);
        ++watch_.controllerBadCrc;
        return;
    }
    count(timeUs, &Counters::requests, 1, &run);
    if (flowSlots_ && !imitated(run))
        notImitated(timeUs, run, bytes);
}

void LineLog::listenOnly(std::map<RunKey, bool> byteOrders, qint64 nowUs) {
    listenOnly_ = true;
    byteOrders_ = std::move(byteOrders);
    flowSlots_ = nullptr;
    beginJob(JobKind::Imitation, nowUs);
}

bool LineLog::msbFirst(const RunKey& run) const {
    const auto order = byteOrders_.find(run);
    return order == byteOrders_.end() || order->second;
}

void LineLog::handleHeard(const QByteArray& bytes, bool crcOk, qint64 timeUs) {
    const auto frame = Span(bytes);
    // Shown as the tool would show the exchange were it the speaker: answers go out, requests come in.
    LineEvent e{LineEventKind::Frame, LineDirection::Out, timeUs, bytes, 0};
    if (frame[0] == proto::kFlowAnswerStart) {
        const RunKey run{frame[1], frame[4]};
        if (!crcOk) {
            addFault(timeUs, LineDirection::Out,
                     QStringLiteral("ответ расхода: %1, неверная контрольная сумма").arg(RunName(run)), bytes,
                     RowCause::BadCrc);
            count(timeUs, &Counters::badCrc, 1, &run);
            return;
        }
        const Meaning m = DescribeFlowAnswerIn(frame, msbFirst(run));
        addRow(e, m, bytes, m.kind == RowKind::Answer ? RowCause::FlowAnswer : RowCause::Other);
        if (m.kind == RowKind::Answer)
            count(timeUs, &Counters::answers, 1, &run);
        return;
    }
    if (frame[0] == proto::kRequestStart) {
        asked_ = AskedBy(frame);
        if (crcOk)
            addRow(e, DescribeControllerRequest(frame), bytes, RowCause::ControllerRequest);
        else
            addFault(timeUs, LineDirection::Out,
                     QStringLiteral("запрос к контроллеру с неверной контрольной суммой"), bytes,
                     RowCause::BadCrc);
        count(timeUs, crcOk ? &Counters::requests : &Counters::badCrc);
    } else {
        e.direction = LineDirection::In;
        const proto::AnswerOutcome outcome =
            proto::CheckAnswer(frame, int(frame.size()), asked_.function).outcome;
        const Meaning m = DescribeControllerAnswer(frame, asked_, outcome);
        addRow(e, m, bytes, AnswerCause(m, outcome));
        if (m.kind == RowKind::Answer)
            count(timeUs, &Counters::answers);
        else if (outcome == proto::AnswerOutcome::BadCrc) {
            count(timeUs, &Counters::badCrc);
            ++watch_.controllerBadCrc;
        }
    }
    rows_.back().role = LineRole::Controller;
}

void LineLog::noise(qint64 timeUs, LineDirection d, int bytes) {
    addFault(timeUs, d, QStringLiteral("пропущено байт шума: %1").arg(bytes), {}, RowCause::Noise);
    count(timeUs, &Counters::noiseBytes, bytes);
}

void LineLog::notImitated(qint64 timeUs, const RunKey& run, const QByteArray& bytes) {
    addFault(timeUs, LineDirection::In, QStringLiteral("запрос к не имитируемой нитке: ") + RunName(run),
             bytes);
    count(timeUs, &Counters::notImitated, 1, &run);
    watch_.notImitated.insert(run);
}

bool LineLog::imitated(const RunKey& run) const {
    return proto::MatchSlot(proto::BuildFlowRequest(run.first, run.second).data(), *flowSlots_) >= 0;
}

void LineLog::addRow(const LineEvent& e, const Meaning& m, const QByteArray& bytes, RowCause cause) {
    LineRow row;
    row.timeUs = e.timeUs;
    row.wallMs = wallOffsetMs_ + e.timeUs / 1000;
    row.gapUs = lastRowUs_ < 0 ? -1 : e.timeUs - lastRowUs_;
    row.kind = m.kind;
    row.direction = e.direction;
    row.role = role_;
    row.bytes = bytes;
    row.meaning = m.text;
    row.cause = cause;
    lastRowUs_ = e.timeUs;
    rows_.push_back(std::move(row));
}

void LineLog::addFault(qint64 timeUs, LineDirection d, const QString& text, const QByteArray& bytes,
                       RowCause cause) {
    addRow(LineEvent{LineEventKind::Frame, d, timeUs, {}, 0}, Meaning{RowKind::Fault, text}, bytes, cause);
}

void LineLog::enterRole(LineRole role, qint64 timeUs) {
    const JobKind kind = role == LineRole::Imitation ? JobKind::Imitation : JobKind::Configure;
    if (role_ == role && !jobs_.empty())
        return;
    role_ = role;
    resetReader();
    if (jobs_.empty() || jobs_.back().kind != kind)
        startJob(kind, timeUs);
}

void LineLog::startJob(JobKind kind, qint64 timeUs) {
    jobs_.push_back({kind, timeUs, {}, {}});
    while (int(jobs_.size()) > kJobsKept)
        jobs_.pop_front();
    watch_ = {};
}

JobCounters& LineLog::job(qint64 timeUs) {
    if (jobs_.empty())
        startJob(role_ == LineRole::Imitation ? JobKind::Imitation : JobKind::Configure, timeUs);
    return jobs_.back();
}

void LineLog::count(qint64 timeUs, int Counters::*field, int n, const RunKey* run) {
    JobCounters& j = job(timeUs);
    j.total.*field += n;
    if (run)
        j.runs[*run].*field += n;
}

QStringList LineLog::diagnosis(qint64 nowUs) const {
    QStringList out;
    if (jobs_.empty())
        return out;
    const JobCounters& j = jobs_.back();
    if (!watch_.notImitated.empty()) {
        QStringList runs;
        for (const RunKey& run : watch_.notImitated)
            runs << RunName(run);
        out << QStringLiteral(
                   "Контроллер опрашивает не имитируемые нитки (%1): исправьте настройки имитации.")
                   .arg(runs.join(QStringLiteral("; ")));
    }
    if (j.kind == JobKind::Imitation && watch_.running) {
        const qint64 lastByte = std::max(watch_.lastByteInUs, j.startUs);
        const qint64 lastRequest = std::max(watch_.lastRequestUs, j.startUs);
        if (nowUs - lastByte > kNoBytesUs)
            out << QStringLiteral(
                "Более 10 с от контроллера не пришло ни одного байта: проверьте подключение, "
                "выбор RTS и скорость линии.");
        else if (watch_.bytesSinceRequest && nowUs - lastRequest > kNoRequestUs)
            out << QStringLiteral(
                "Байты приходят, но запрос не распознан более 5 с: вероятно, скорость линии "
                "отличается от скорости контроллера.");
    }
    if (watch_.echoes > 0)
        out << QStringLiteral("Программа принимает собственную передачу: линия двухпроводная с эхом.");
    if (watch_.controllerBadCrc >= kRepeatedBadCrc)
        out << QStringLiteral(
                   "Контроллер %1 %2 передал кадр с неверной контрольной суммой: помехи на линии или "
                   "неверная скорость.")
                   .arg(watch_.controllerBadCrc)
                   .arg(RussianPlural(watch_.controllerBadCrc, u"раз", u"раза", u"раз"));
    return out;
}

} // namespace monitor
