// What every fuzz target shares: the invariant check.
#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant that does not hold is a finding: say which one, then crash for libFuzzer.
#define Require(ok)                                                                                          \
    do {                                                                                                     \
        if (!(ok)) {                                                                                         \
            std::fprintf(stderr, "invariant failed at line %d: %s\n", __LINE__, #ok);                        \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)
