#pragma once
// The imitation loop: answers the controller's flow requests for the imitated runs, showing each answer,
// until the operator stops it; then the way back to the controller's 1200 bit/s.
#include "ImitSettings.h"

#include <QtGlobal>
#include <array>

class JobView;
class Link;
struct RunDisplay;
struct Shell;

void RunImitation(JobView& view, Link& link, ImitSettings& imit, Shell& shell);

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
