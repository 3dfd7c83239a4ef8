#pragma once
// The imitation loop: answers the controller's flow requests for the imitated runs, showing each answer,
// until the operator stops it; then the way back to the controller's 1200 bit/s.
#include "ImitSettings.h"

#include <QtGlobal>
#include <array>
#include <functional>

class JobView;
class Link;
struct RunDisplay;
struct StopControl;

// One answer of the imitation, told once it has gone out: the slot it answered, the volume it reported
// (m3) and the ms of flow since the run's start (or its first answer) that volume stands for.
struct ImitAnswer {
    int slot = 0;
    float volume = 0;
    quint32 elapsedMs = 0;
};
// Watches the answers of a run; true ends the run at this answer: nothing more is answered, and the
// line goes back to the controller's speed as after a stop. The stop request stays untouched, so
// that the caller tells its own end from the operator's.
using ImitAnswerHook = std::function<bool(const ImitAnswer& answer)>;

// Where a run's answered volumes start. The imitation's own button starts every slot at 0 when the run
// starts. A bench check goes on from the volumes its previous step answered, as a flow computer's counter
// goes on, and lets the volume grow from the run's first answered request only: the time before it (the
// controller's pause after its table reads, the wait between steps) carries none.
struct ImitVolumeStart {
    std::array<float, 3> m3{};
    bool fromFirstAnswer = false;
};

void RunImitation(JobView& view, Link& link, ImitSettings& imit, StopControl& stopControl,
                  const ImitAnswerHook& afterAnswer = {}, const ImitVolumeStart& start = {});

// The texts a run's panel shows after `answers` answers, the last of which reported `volume` m3, for a run
// imitated at `rashod` m3/h: the same as during an imitation.
RunDisplay RunDisplayOf(int answers, float volume, double rashod);

// State of the imitation that runs (or ran last): answers per slot and the start tick of the volume.
struct ImitRunState {
    std::array<qint32, 3> ImitAnswers{};
    quint32 ImitStartTick = 0;
};
const ImitRunState& LastImitRun();

// With no request partly received the wait for bytes wakes at least this often (ms); a partial request
// shortens it to its idle deadline.
constexpr int kImitIdleWaitMs = 1000;
