#pragma once
// The imitation job: the settings asked of the view, then the answering loop with the pulses expected
// from the answered volumes shown beside the runs. No widgets.
#include "ImitLoop.h"
#include "ImitSettings.h"

class ImitView;
class JobView;
class Link;
struct StopControl;

// The imitation job, run by the main window's ImitFlButton: the view's settings, then
// RunWatchedImitation.
void RunImitationJob(ImitView& view, Link& link, ImitSettings& imit, StopControl& stopControl);
// One imitation run as the button runs it: the pulses expected from the answered volumes are shown
// beside the runs.
void RunWatchedImitation(JobView& view, Link& link, ImitSettings& imit, StopControl& stopControl,
                         const ImitAnswerHook& afterAnswer = {}, const ImitVolumeStart& start = {});
