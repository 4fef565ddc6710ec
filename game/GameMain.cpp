// The game entry functions the engine calls.
