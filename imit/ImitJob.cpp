#include "ImitJob.h"

#include "ImitView.h"
#include "PulseWatch.h"

void RunImitationJob(ImitView& view, Link& link, ImitSettings& imit, StopControl& stopControl) {
    if (view.editImitSettings(imit))
        RunWatchedImitation(view, link, imit, stopControl);
}

void RunWatchedImitation(JobView& view, Link& link, ImitSettings& imit, StopControl& stopControl,
                         const ImitAnswerHook& afterAnswer, const ImitVolumeStart& start) {
    PulseWatchView watch(view, imit);
    RunImitation(watch, link, imit, stopControl, afterAnswer, start);
}
