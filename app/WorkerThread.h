#pragma once
// The render worker's thread in the window program.

// Starts RenderWorker on its own thread and stores its handle.
void StartWorker();
// Asks the render worker to quit and waits for it (100 ms polls, at most
// 120), terminating it when it outlasts the wait. Afterwards the blocks may
// be released.
void StopWorker();
