// Shared pieces of the fuzz targets: a property check that stops the run as a finding.
#pragma once
#include <cstdio>
#include <cstdlib>

// A broken property is a finding like a sanitizer report: print it and abort (libFuzzer keeps the input).
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
