#include "Protocol.h"

#include "LinkState.h"
#include "LinkUi.h"
#include "PortRecovery.h"

bool SendRequest(Link& link, QObject* owner) {
    LinkState& s = Inside(link);
    const int n = proto::CompleteRequest(s.RequestBuffer);
    if (n == 0) {
        if (s.ui)
            s.ui->showBadRequest(owner);
        return false;
    }
    SendFrame(link, n);
    return true;
}

Reply Exchange(Link& link, QObject* owner, bool pumpMessages) {
    Reply reply;
    // A device pulled since the last exchange is taken up again once it is back; while it is away the
    // exchange runs its time-out as on a silent line, so that the attempts keep their pace.
    if (NoticePortLoss(link))
        ReopenLostPort(link);
    if (!SendRequest(link, owner)) {
        reply.fault = LinkFault::BadRequest;
        return reply;
    }
    // 500 ms for the first answer byte, 500 ms of silence ends a started frame.
    const Received got =
        ReceiveAnswer(link, 500, 500, proto::kAnswerStart, pumpMessages, link.RequestBuffer()[3]);
    reply.count = got.count;
    reply.answer = got.answer;
    if (NoticePortLoss(link))
        reply.fault = LinkFault::PortLost;
    return reply;
}

int Transact(Link& link, QObject* owner, bool pumpMessages) {
    return Exchange(link, owner, pumpMessages).count;
}

Reply ReadTable(Link& link, QObject* owner, quint8 table) {
    BuildReadRequest(link, table);
    return Exchange(link, owner, true);
}

Reply WriteTable(Link& link, QObject* owner, quint8 table, std::span<const quint8> data) {
    if (!BuildWriteRequest(link, table, data.data(), int(data.size()))) {
        Reply refused;
        refused.fault = LinkFault::BadRequest;
        return refused;
    }
    return Exchange(link, owner, false);
}

void BuildReadRequest(Link& link, quint8 table) {
    proto::BuildReadRequest(link.RequestBuffer(), table);
}

bool BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count) {
    if (count < 0 || (count > 0 && data == nullptr))
        return false;
    return proto::BuildWriteRequest(link.RequestBuffer(), table, {data, std::size_t(count)}) != 0;
}

const char* OutcomeName(const Reply& reply) {
    switch (reply.fault) {
    case LinkFault::BadRequest:
        return "bad-request";
    case LinkFault::PortLost:
        return "port-lost";
    case LinkFault::None:
        break;
    }
    return proto::OutcomeName(reply.answer.outcome);
}
