#pragma once
// A broken expectation in a fuzz target is a finding: say which one and abort,
// so libFuzzer keeps the input.

#include <cstdio>
#include <cstdlib>

#define FUZZ_EXPECT(condition)                                                            \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (false)
