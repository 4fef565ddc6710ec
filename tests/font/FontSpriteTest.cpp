// Font sprites on the engine device.
#include <gtest/gtest.h>
