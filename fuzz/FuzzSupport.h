// What every target shares: logging off (it would dominate the run) and a hard stop on a broken
// property, which libFuzzer reports with the input that broke it.
#pragma once

#include <glog/logging.h>

#include <cstdio>
#include <cstdlib>

#define FUZZ_QUIET_LOGS()                                \
    extern "C" int LLVMFuzzerInitialize(int*, char***) { \
        FLAGS_minloglevel = 3;                           \
        return 0;                                        \
    }

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
