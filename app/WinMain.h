#pragma once
// The start and end of the process.

// Asks the render worker to quit and waits for it (100 ms polls, at most
// 120), terminating it when it outlasts the wait. Afterwards the blocks may
// be released.
void StopWorker();
