#include "MathFixture.h"
