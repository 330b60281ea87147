#include "services/StatusText.h"

namespace {
std::function<void(const QString&)> gSink;
}  // namespace

void SetStatusSink(std::function<void(const QString&)> sink) { gSink = std::move(sink); }

void ShowStatus(const QString& text) {
    if (gSink)
        gSink(text);
}
