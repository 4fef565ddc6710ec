// The log of the native fuzz build: VornLog without a file, as before Open, so every entry is dropped.
// Byte-format code may log; nothing here reaches Windows.
#include "VornLog.h"

void VornLog::SetFileName(const char*) {}
const char* VornLog::GetFileName() { return ""; }
void VornLog::EnableConsole() {}
bool VornLog::Open() { return false; }
bool VornLog::Open(const char*) { return false; }
void VornLog::Close() {}
bool VornLog::IsOpen() { return false; }
void VornLog::Title(const char*, ...) {}
void VornLog::Print(const char*, ...) {}
void VornLog::Strong(const char*, ...) {}
void VornLog::StrongBlue(const char*, ...) {}
void VornLog::StrongRed(const char*, ...) {}
void VornLog::StrongGreen(const char*, ...) {}
void VornLog::LineBreak() {}
void VornLog::LogSystemInfo(const char*) {}
