#include "platform/workbook/Waiting.h"

#include <thread>

namespace xl {

namespace {
std::function<void()> gHook;
std::thread::id gHookThread;
bool gInHook = false;
}  // namespace

void SetWaitHook(std::function<void()> hook) {
    gHook = std::move(hook);
    gHookThread = std::this_thread::get_id();
}

void WhileWaiting() {
    // A wait inside the hook (an event handler that waits in turn) just waits.
    if (!gHook || gInHook || std::this_thread::get_id() != gHookThread)
        return;
    gInHook = true;
    gHook();
    gInHook = false;
}

}  // namespace xl
