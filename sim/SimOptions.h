#pragma once
// The command line of rmz47-sim.
#include "SimController.h"
#include "SimMaster.h"

#include <string>
#include <vector>

namespace sim {

extern const char* const kUsage;

struct Options {
    ControllerState state;
    bool table4Given = false;
    std::string statePath;
    std::vector<PollPair> poll;
    long baud = 1200;
    long period = 1000;
    long timeout = 1000;
    long gap = 0;
    long count = 0;
    long answerDelay = 5;
    bool echo = false;
    bool quiet = false;
    bool field = false;
    std::string link;
    FaultOptions faults;
};

// Reads the options; --help prints the usage and exits 0, anything wrong prints why and the usage on
// stderr and exits 2.
Options ParseOptions(int argc, char** argv);

} // namespace sim
