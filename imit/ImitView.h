#pragma once
// What the imitation job asks of its view beyond messages and questions: the imitation settings. The
// window shows TImitForm; a console or a test answers with settings of its own.
#include "ImitSettings.h"
#include "JobView.h"

class ImitView : public virtual JobView {
public:
    // The settings for the next imitation, edited in place: true when accepted (the values taken over),
    // false when cancelled.
    virtual bool editImitSettings(ImitSettings& imit) = 0;
};
