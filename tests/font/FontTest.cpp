// Fonts on the engine device.
#include <gtest/gtest.h>
