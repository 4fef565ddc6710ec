// A player for the test seam: reads the game's state in process each frame and answers with the
// virtual buttons it holds. Only the seam's `autopilot` entry attaches it; play never runs it.
#pragma once
#include <cstdint>

// Bit i set: virtual button i held (0 up, 1 down, 2 left, 3 right, 4 Z, 5 X, 6 C).
uint32_t AutopilotPad(uint32_t frame);
