#pragma once
// What the panels' pictures may take of memory and disk, however many panels a dashboard has
// and whoever made it (a shared file's included): one picture at most what the largest screen
// shows; a dashboard's pictures together within one budget; the pictures painted side by side
// on the machine's cores within another, a picture waiting for room there rather than being
// refused. A pixel takes 4 bytes in memory and 3 in a cached picture on disk.

#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>

namespace PictureBudget {

// An 8K screen, 7680 x 4320 pixels: a picture may be as wide or as tall as its wider side, and
// hold as many pixels as it has.
constexpr int kMaxSide = 7680;
constexpr int64_t kMaxPixels = int64_t(7680) * 4320;
// Everything a dashboard shows: its pictures and the zoomed copies of them (500 MB of memory,
// and at most 375 MB of cached pictures on disk).
constexpr int64_t kDashboardPixels = 125'000'000;
// Pictures being painted, or painted and not shown yet (250 MB of memory).
constexpr int64_t kPaintingPixels = 62'500'000;

inline int64_t Pixels(const QSize& size) {
    return size.isValid() ? int64_t(size.width()) * size.height() : 0;
}
// Whether a screen can show a picture of that size.
[[nodiscard]] bool FitsScreen(const QSize& size);
// The size itself when a screen can show it; otherwise each side cut to what it can, and then
// the height to what leaves the pixels within a screen's.
QSize FitToScreen(const QSize& size);

// Room for one picture among those being painted, held while the object lives.
class PaintingRoom {
public:
    // Takes the room, once the pictures being painted leave enough; `whileWaiting` runs until
    // they do (the pictures painted meanwhile shown, giving theirs back). With nothing being
    // painted there is always room.
    static std::shared_ptr<PaintingRoom> Take(int64_t pixels, const std::function<void()>& whileWaiting);
    ~PaintingRoom();
    PaintingRoom(const PaintingRoom&) = delete;
    PaintingRoom& operator=(const PaintingRoom&) = delete;
    int64_t Pixels() const { return pixels_; }
    // The pixels of every picture being painted now.
    static int64_t InUse();

private:
    explicit PaintingRoom(int64_t pixels) : pixels_(pixels) {}
    int64_t pixels_;
};

}  // namespace PictureBudget
