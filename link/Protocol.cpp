#include "Protocol.h"

#include "LinkUi.h"
#include "PortRecovery.h"

bool SendRequest(Link& link, QObject* owner) {
    const int n = proto::CompleteRequest(link.RequestBuffer);
    if (n == 0) {
        if (link.ui)
            link.ui->showBadRequest(owner);
        return false;
    }
    SendFrame(link, n);
    return true;
}

int Transact(Link& link, QObject* owner, bool pumpMessages) {
    // A device pulled since the last exchange is taken up again once it is back; while it is away the
    // exchange fails as on a silent line.
    if (NoticePortLoss(link))
        ReopenLostPort(link);
    if (!SendRequest(link, owner))
        return 0;
    // 500 ms for the first answer byte, 500 ms of silence ends a started frame.
    const int count = ReceiveFrame(link, 500, 500, kAnswerStart, pumpMessages);
    NoticePortLoss(link);
    return count;
}

void BuildReadRequest(Link& link, quint8 table) {
    proto::BuildReadRequest(link.RequestBuffer, table);
}

bool BuildWriteRequest(Link& link, quint8 table, const quint8* data, int count) {
    if (count < 0 || (count > 0 && data == nullptr))
        return false;
    return proto::BuildWriteRequest(link.RequestBuffer, table, {data, std::size_t(count)}) != 0;
}

bool AnswerFrameValid(const Link& link, int count) {
    return proto::ParseAnswerFrame(link.AnswerBuffer, count).ok();
}

bool AnswerPassesCommonChecks(const Link& link, int count, quint8 requestFunction) {
    return proto::ParseAnswer(link.AnswerBuffer, count, requestFunction).ok();
}

int AnswerDataLength(const Link& link) {
    return int(link.AnswerBuffer[2]) - kReadAnswerOverhead;
}

bool ReadAnswerOk(const Link& link, int count) {
    return proto::ParseReadAnswer(link.AnswerBuffer, count).ok();
}

bool WriteAnswerIsAck(const Link& link) {
    return proto::IsWriteAck(link.AnswerBuffer);
}
