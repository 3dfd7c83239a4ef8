// Helper of the settings-file fault tests: saves the settings file given as its argument over and over,
// the port alternating between 1 and 2, until it is killed. Prints one line once the first save is done,
// so that the test kills it while it is saving and not while it is starting.
#include "Now_opros.h"
#include "Settings.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <settings file>\n", argv[0]);
        return 2;
    }
    Link link;
    link.setSettingsPath(QString::fromLocal8Bit(argv[1]));
    LoadSettings(link);
    for (unsigned n = 0;; ++n) {
        link.setPortNumber(1 + int(n % 2));
        SaveSettings(link);
        if (n == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
