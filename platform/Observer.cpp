#include <atomic>

#include "platform/Platform.h"

// Set before any thread is started and read from both threads.
static std::atomic<const PlatformObserver*> currentObserver{nullptr};

void SetPlatformObserver(const PlatformObserver* observer)
{
    currentObserver.store(observer, std::memory_order_release);
}

const PlatformObserver* CurrentPlatformObserver()
{
    return currentObserver.load(std::memory_order_acquire);
}
