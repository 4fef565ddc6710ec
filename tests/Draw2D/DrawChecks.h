// Checks shared by the 2D and 3D drawing tests: read-back frames and log texts.
#pragma once
#include "DeviceFixture.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>

namespace draw2dtest {

// The pixels of colour rgb span exactly (x0, y0)-(x1, y1), each edge within tolerance.
inline ::testing::AssertionResult BoxIs(const vorntest::Readback& frame, uint32_t rgb, int x0, int y0, int x1, int y1,
                                        int tolerance = 0)
{
    int b[4];
    if (!frame.Bounds(rgb, &b[0], &b[1], &b[2], &b[3])) return ::testing::AssertionFailure() << "no pixel of " << std::hex << rgb;
    const int want[4] = {x0, y0, x1, y1};
    for (int i = 0; i < 4; ++i)
        if (std::abs(b[i] - want[i]) > tolerance)
            return ::testing::AssertionFailure() << "box " << b[0] << "," << b[1] << " - " << b[2] << "," << b[3];
    return ::testing::AssertionSuccess();
}

// How many times piece occurs in text.
inline int CountIn(const std::string& text, const std::string& piece)
{
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

}  // namespace draw2dtest
