#pragma once
// The fuzzers' one assertion: a broken property stops the run at once, so libFuzzer keeps the
// input that broke it. Unlike assert() it stays on in every build mode.
#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                                       \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
