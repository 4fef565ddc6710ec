// Checks on read-back frames and log texts, under the names the 2D and 3D tests use.
#pragma once
#include "EngineFixture.h"

namespace draw2dtest {
using vorntest::BoxIs;
using vorntest::CountIn;
using vorntest::Near;
}  // namespace draw2dtest
