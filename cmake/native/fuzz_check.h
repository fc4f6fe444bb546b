// What a fuzz target checks beyond "no crash": a property that must hold for
// every input. A broken one stops the target as a crash would, so libFuzzer
// saves the input and the replay test fails on it.
#pragma once
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                             \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "property broken at %s:%d: %s\n  (%s)\n", __FILE__, __LINE__, \
                         what, #condition);                                                     \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
