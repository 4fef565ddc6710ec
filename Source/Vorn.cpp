#include "Vorn.h"
