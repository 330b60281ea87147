#include "services/StatusText.h"

namespace {
std::function<void(const QString&, bool)> gSink;
}  // namespace

void SetStatusSink(std::function<void(const QString&, bool)> sink) { gSink = std::move(sink); }

void ShowStatus(const QString& text) {
    if (gSink)
        gSink(text, false);
}

void ShowLastingStatus(const QString& text) {
    if (gSink)
        gSink(text, true);
}
