#include "windows/PictureBudget.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace PictureBudget {

namespace {

std::atomic<int64_t> gPainting{0};

}  // namespace

bool FitsScreen(const QSize& size) {
    return size.isValid() && size.width() <= kMaxSide && size.height() <= kMaxSide &&
           Pixels(size) <= kMaxPixels;
}

QSize FitToScreen(const QSize& size) {
    QSize fitted(std::clamp(size.width(), 0, kMaxSide), std::clamp(size.height(), 0, kMaxSide));
    if (Pixels(fitted) > kMaxPixels)
        fitted.setHeight(int(kMaxPixels / fitted.width()));
    return fitted;
}

std::shared_ptr<PaintingRoom> PaintingRoom::Take(int64_t pixels, const std::function<void()>& whileWaiting) {
    for (;;) {
        int64_t inUse = gPainting.load();
        // A picture of its own larger than the room still gets it, alone.
        if ((inUse == 0 || inUse + pixels <= kPaintingPixels) && gPainting.compare_exchange_weak(inUse, inUse + pixels))
            return std::shared_ptr<PaintingRoom>(new PaintingRoom(pixels));
        if (inUse != 0 && inUse + pixels > kPaintingPixels) {
            whileWaiting();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
}

PaintingRoom::~PaintingRoom() { gPainting -= pixels_; }

int64_t PaintingRoom::InUse() { return gPainting.load(); }

}  // namespace PictureBudget
