#pragma once
// What the engine does while the calling thread waits for work done elsewhere (LibreOffice
// recalculating, workbooks read or pictures painted on other cores): it calls the wait hook
// again and again, every few milliseconds. Nothing by default; a program with windows lets
// their events in there, so that they repaint while they wait.

#include <functional>

namespace xl {

void SetWaitHook(std::function<void()> hook);
// Calls the hook, from the thread that installed it only (other threads just wait).
void WhileWaiting();

}  // namespace xl
