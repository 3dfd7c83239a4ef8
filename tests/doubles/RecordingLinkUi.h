#pragma once
// The link's boxes as a test sees them: recorded, never shown.
#include "LinkUi.h"

#include <QStringList>

class RecordingLinkUi : public LinkUi {
public:
    void showOpenError(const QString& text) override { openErrors.push_back(text); }
    void showBadRequest(QObject* owner) override {
        ++badRequests;
        lastOwner = owner;
    }
    QStringList openErrors;
    int badRequests = 0;
    QObject* lastOwner = nullptr;
};
