// The Windows build of halovane-render keeps the system's own handling:
// Ctrl-C ends it at once. Its standard handles need no guard.
#include "cli/Signals.h"

void GuardStandardFiles() {}

void StartSignalWatch() {}

void KeepWorkOnSignal() {}

int StopSignal() { return 0; }

const char* SignalName(int) { return "a signal"; }

void SignalTestPoint(const std::string&) {}
