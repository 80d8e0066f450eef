#pragma once
// The heap blocks taken as a whole: both images and the sample arrays are
// allocated together at start-up, cleared together, released together.

// The bitmap headers, then the view image, the output image and the sample
// arrays; stops at the first failure (its "Memory Error." box has been shown).
bool AllocBlocks();
// Zeroes both images (and the deep image when held) and draws the outline into the view: every clear.
void ClearImages();
// Releases every block. Only once the worker has gone: no lock is taken,
// since a terminated worker may have died holding it.
void ReleaseBlocks();
