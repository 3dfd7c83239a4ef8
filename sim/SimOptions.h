#pragma once
// The command line of rmz47-sim.
#include "SimController.h"
#include "SimMaster.h"

#include <string>
#include <vector>

namespace sim {

extern const char* const kUsage;

// The table 4 a controller in field mode starts with unless told otherwise, in the size of the version's
// table: one the tool's configuration form takes as it is (the factory record's 1 s answer time-out is
// below what the form allows). Two runs, flow computers 1 and 2 (run 1 each) at 9600 bit/s, polled every
// 2 s with a 7 s answer time-out and 5 attempts, 1 m3 a pulse, pulse and pause 0.1 s.
Bytes FieldTable4(int softVersion);

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
