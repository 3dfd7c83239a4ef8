#include "EscapeHook.h"

#include "UiCommon.h"

#include <QCoreApplication>
#include <QKeyEvent>

EscapeHook::EscapeHook(StopControl& stopControl, QObject* parent)
    : QObject(parent), stopControl_(stopControl) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

EscapeHook::~EscapeHook() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool EscapeHook::eventFilter(QObject* watched, QEvent* event) {
    // A key press that the focus widget ignores travels up to its parents and passes here once per
    // receiver; setting the flag again is harmless.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        stopControl_.requestStop();
    return QObject::eventFilter(watched, event);
}
