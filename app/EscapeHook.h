#pragma once
// The application-wide Escape hook: every key press in any window of the application passes through it
// before it is delivered; an Escape press asks a running imitation to stop. The key is never swallowed,
// so Escape still closes dialogs and message boxes as usual.
#include <QObject>

struct StopControl;

class EscapeHook : public QObject {
    Q_OBJECT
public:
    // Installs itself on the application; removed again when destroyed.
    explicit EscapeHook(StopControl& stopControl, QObject* parent = nullptr);
    ~EscapeHook() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    StopControl& stopControl_;
};
