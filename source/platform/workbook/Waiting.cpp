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
    // Only the thread that set the hook looks at it: the others just wait.
    if (std::this_thread::get_id() != gHookThread || gInHook || !gHook)
        return;
    struct InHook {
        InHook() { gInHook = true; }
        ~InHook() { gInHook = false; }  // a hook that throws stays on for the next wait
    } inHook;
    gHook();
}

}  // namespace xl
