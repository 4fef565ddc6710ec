// Vorn: the application class (boot, window, frame loop).
#pragma once
