#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant of the code under fuzzing. A broken one aborts, which libFuzzer
// and the corpus runner both report with the input that caused it.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
