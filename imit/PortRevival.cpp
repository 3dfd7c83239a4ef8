#include "PortRevival.h"

#include "DeviceWatch.h"
#include "JobCommon.h"
#include "JobView.h"
#include "Now_opros.h"
#include "PortRecovery.h"
#include "SpeedReadback.h"

#include <QTime>

namespace {

QString Now() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString SpeedNoticeText(int requested, int actual) {
    if (!SpeedMissed(requested, actual))
        return {};
    return QStringLiteral("Адаптер не дает %1 бит/с: порт работает на %2 бит/с").arg(requested).arg(actual);
}

PortRevival::PortRevival(JobView& view, Link& link) : view_(view), link_(link) {
    view_.showLinkNotice(LinkNotice::Port, {});
    view_.showLinkNotice(LinkNotice::Speed, {});
    checkSpeed();
}

PortRevival::~PortRevival() = default;

void PortRevival::checkSpeed() {
    if (speedTold_ || !link_.portOpen())
        return;
    const QString text = SpeedNoticeText(link_.LineSpeed(), link_.actualBaud());
    if (text.isEmpty())
        return;
    speedTold_ = true;
    view_.showLinkNotice(LinkNotice::Speed, text);
}

bool PortRevival::lost() {
    if (!NoticePortLoss(link_))
        return false;
    if (!watch_) {
        watch_ = std::make_unique<DeviceWatch>();
        watch_->addPathsOf(LostDevicePaths(link_));
        lostText_ = QStringLiteral("Порт потерян в %1 (%2)").arg(Now(), link_.lostReason());
        view_.showLinkNotice(LinkNotice::Port, lostText_ + QStringLiteral(", ждем устройство"));
        ShowPortDevice(view_, link_);
    }
    return true;
}

DeviceWatch* PortRevival::wakeSource() const {
    return watch_.get();
}

bool PortRevival::retry() {
    if (!ReopenLostPort(link_))
        return false;
    watch_.reset();
    view_.showLinkNotice(LinkNotice::Port, lostText_ + QStringLiteral(", открыт снова в ") + Now());
    ShowPortDevice(view_, link_);
    checkSpeed();
    return true;
}
