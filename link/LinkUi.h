#pragma once
// The two boxes the link itself raises. The program shows them on screen; tests record them; a link
// without one shows nothing.
#include <QString>

class QObject;

class LinkUi {
public:
    virtual ~LinkUi() = default;
    // A port failed to open: the system's text (plus advice when the device refused access).
    virtual void showOpenError(const QString& text) = 0;
    // A request with a length byte of 0 was refused; the box belongs to `owner`'s window.
    virtual void showBadRequest(QObject* owner) = 0;
};
