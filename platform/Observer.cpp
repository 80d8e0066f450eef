// The observed platform calls: the observer hears of each call first, then
// the platform's own half does its part.
#include <atomic>

#include "platform/Platform.h"
#include "platform/PlatformImpl.h"

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

void PostWindowTitle(const char* text)
{
    const PlatformObserver* observer = CurrentPlatformObserver();
    if (observer && observer->onTitle) observer->onTitle(text);
    PlatformPostWindowTitle(text);
}

void RequestRepaint(const ClientRect& area)
{
    const PlatformObserver* observer = CurrentPlatformObserver();
    if (observer && observer->onRepaint) observer->onRepaint(area);
    PlatformRequestRepaint(area);
}

void ShowMemoryError(const char* text)
{
    const PlatformObserver* observer = CurrentPlatformObserver();
    if (observer && observer->onMemoryError) {
        observer->onMemoryError(text);
        return;
    }
    PlatformShowMemoryError(text);
}

void LaunchShellPreview(const char* file)
{
    const PlatformObserver* observer = CurrentPlatformObserver();
    if (observer && observer->onPreview) {
        observer->onPreview(file);
        return;
    }
    PlatformLaunchShellPreview(file);
}
