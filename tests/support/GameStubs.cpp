// Engine-only test programs have no game: these stand in for the game's entry functions.
#include "GameStubs.h"
