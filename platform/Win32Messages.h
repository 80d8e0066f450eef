#pragma once
// Private window messages of the Windows program.

// Posted by the worker: lParam is a const char* with static lifetime that
// becomes the main window's title. Posting never waits on the window thread.
constexpr unsigned kSetTitleMessage = 0x8000 + 1;  // WM_APP + 1
