#pragma once
// What halovane-render sets up before anything else: standard descriptors
// that exist, and the signals that end it. The first SIGINT, SIGTERM or
// SIGHUP during a render stops it as Stop does; the image so far is then
// written and the program ends with 128 plus the signal's number. A second
// signal, or one that comes before the render has begun, ends the program at
// once: temporary files are removed and old files stay as they were.
#include <string>

// Opens the null device on descriptors 0 to 2 where they are closed, so that
// no file the program opens takes their place.
void GuardStandardFiles();
// Starts the thread that takes the signals. Call before any other thread
// exists: every thread started later leaves the signals to it.
void StartSignalWatch();
// From here on the first signal stops the render instead of ending the program.
void KeepWorkOnSignal();
// The signal that stopped the render, or 0.
int StopSignal();
// "SIGINT" and the like.
const char* SignalName(int signal);
// A test point: when HALOVANE_TEST_SIGNALS is "POINT:SIG[,SIG]" (for
// example "run2:INT" or "save:INT,INT") and point is POINT, raises each
// signal in turn, each once it has been acted on. The point "save" is the
// creation of the first temporary file.
void SignalTestPoint(const std::string& point);
