// The raster core: pages, images, blits, capture and the key queue, with no
// window code. A back end (display.h) shows the visible page from its own
// thread; everything it may read is guarded by the one facility lock.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "platform/blend_kernels.h"
#include "platform/display.h"
#include "platform/graphics.h"

// Screen pages and program images share this record, so that set pixel and the
// blits address both the same way. capacity is what the storage was allocated
// with; a capture may reshape an image only within it.
struct RasterImage {
    int64_t width;
    int64_t height;
    int64_t pitch;     // bytes, a multiple of 16
    int64_t capacity;  // bytes of storage behind pixels
    ArgbPixel* pixels;
    RasterImage* next_image;  // the facility's list of every image made
};

namespace {

struct Facility {
    std::mutex lock;
    bool screen_open = false;
    // Page 0 is both the work and the visible page for the life of a screen;
    // page 1 exists because a screen has two pages, and is never shown.
    RasterImage pages[2] = {};
    uint64_t generation = 0;
    std::deque<std::string> keys;
    // Images are never destroyed; the facility keeps every one on this list,
    // which owns them to the end of the process (and keeps leak checkers quiet).
    RasterImage* images = nullptr;
};

// Never destroyed: a display thread or an atexit path may still reach the
// lock while static objects are being torn down.
Facility& facility() {
    static Facility* const instance = new Facility;
    return *instance;
}

// Far beyond any 32-bit target size, yet small enough that a coordinate plus a
// 32-bit width or the difference of two coordinates cannot overflow int64.
constexpr int64_t kCoordinateLimit = int64_t{1} << 53;

constexpr int64_t pitch_for_width(int64_t width) { return (width * 4 + 15) & ~int64_t{15}; }

// Bytes for height rows of pitch_for_width(width), or -1 when that does not
// fit an allocation size. width and height are positive 32-bit values.
int64_t storage_bytes(int64_t width, int64_t height) {
    const int64_t pitch = pitch_for_width(width);
    if (pitch > std::numeric_limits<int64_t>::max() / height) return -1;
    const int64_t bytes = pitch * height;
    if (static_cast<uint64_t>(bytes) > std::numeric_limits<size_t>::max()) return -1;
    return bytes;
}

void fill_pixels(ArgbPixel* pixels, int64_t count, ArgbPixel colour) {
    for (int64_t i = 0; i < count; ++i) pixels[i] = colour;
}

// Allocates a width x height block filled with colour, row tails included.
// False (and nothing allocated) when the size overflows or memory runs out.
bool allocate_block(RasterImage* block, int32_t width, int32_t height, ArgbPixel colour) {
    const int64_t bytes = storage_bytes(width, height);
    if (bytes < 0) return false;
    auto* pixels = static_cast<ArgbPixel*>(std::malloc(static_cast<size_t>(bytes)));
    if (pixels == nullptr) return false;
    fill_pixels(pixels, bytes / 4, colour);
    *block = RasterImage{width, height, pitch_for_width(width), bytes, pixels, nullptr};
    return true;
}

// Detaches the open screen's pages from the facility, under the lock. The
// caller frees them once the display thread is gone; until then the thread
// sees no screen through visible_page().
struct DetachedPages {
    ArgbPixel* pixels[2];
};

DetachedPages detach_screen(Facility& f) {
    DetachedPages detached{{f.pages[0].pixels, f.pages[1].pixels}};
    f.pages[0] = RasterImage{};
    f.pages[1] = RasterImage{};
    f.screen_open = false;
    ++f.generation;
    return detached;
}

void free_pages(const DetachedPages& detached) {
    std::free(detached.pixels[0]);
    std::free(detached.pixels[1]);
}

// Closes the screen if one is open. Called with the lock held through guard;
// returns with it held again. The lock is let go around display_close()
// because that joins the display thread, which may be waiting for the lock.
void close_screen_locked(Facility& f, std::unique_lock<std::mutex>& guard) {
    if (!f.screen_open) return;
    const DetachedPages detached = detach_screen(f);
    guard.unlock();
    display_close();
    free_pages(detached);
    guard.lock();
}

// The part of a blit or copy that lies on both source and destination.
struct BlitSpan {
    int64_t dst_x, dst_y;
    int64_t src_x, src_y;
    int64_t width, height;
    int64_t dst_pitch, src_pitch;  // bytes
};

// Clips image placed at (x, y) to target; false when nothing is left.
bool clip_to(const RasterImage& target, const RasterImage& image, int64_t x, int64_t y,
             BlitSpan* span) {
    const int64_t left = x < 0 ? 0 : x;
    const int64_t top = y < 0 ? 0 : y;
    const int64_t right = x + image.width < target.width ? x + image.width : target.width;
    const int64_t bottom = y + image.height < target.height ? y + image.height : target.height;
    if (left >= right || top >= bottom) return false;
    *span = BlitSpan{left, top, left - x, top - y, right - left, bottom - top,
                     target.pitch, image.pitch};
    return true;
}

// The first pixel of row y, column x, of a block of pixels with the given pitch.
inline ArgbPixel* pixel_address(ArgbPixel* first, int64_t pitch, int64_t x, int64_t y) {
    return reinterpret_cast<ArgbPixel*>(reinterpret_cast<unsigned char*>(first) + y * pitch) + x;
}

inline const ArgbPixel* pixel_address(const ArgbPixel* first, int64_t pitch, int64_t x,
                                      int64_t y) {
    return reinterpret_cast<const ArgbPixel*>(reinterpret_cast<const unsigned char*>(first) +
                                              y * pitch) +
           x;
}

void copy_rows(ArgbPixel* dst, const ArgbPixel* src, const BlitSpan& span) {
    copy_block(pixel_address(dst, span.dst_pitch, span.dst_x, span.dst_y), span.dst_pitch,
               pixel_address(src, span.src_pitch, span.src_x, span.src_y), span.src_pitch,
               static_cast<size_t>(span.width) * 4, span.height);
}

void blend_rows(ArgbPixel* dst, const ArgbPixel* src, const BlitSpan& span) {
    const BlendPath path = fastest_blend_path();
    for (int64_t row = 0; row < span.height; ++row) {
        blend_row(path, pixel_address(dst, span.dst_pitch, span.dst_x, span.dst_y + row),
                  pixel_address(src, span.src_pitch, span.src_x, span.src_y + row),
                  span.width);
    }
}

}  // namespace

int64_t round_coordinate(float value) {
    const double v = value;
    if (std::isnan(v)) return -kCoordinateLimit;
    const double limit = static_cast<double>(kCoordinateLimit);
    if (v >= limit) return kCoordinateLimit;
    if (v <= -limit) return -kCoordinateLimit;
    return static_cast<int64_t>(std::trunc(v > 0 ? v + 0.5 : v - 0.5));
}

int open_screen(int32_t width, int32_t height, int32_t bits_per_pixel, int32_t pages,
                uint32_t options, int32_t refresh_rate) {
    // The facility always makes 32-bit, two-page, borderless screens; the
    // other arguments describe exactly that and change nothing.
    (void)bits_per_pixel;
    (void)pages;
    (void)options;
    (void)refresh_rate;
    Facility& f = facility();
    std::unique_lock<std::mutex> guard(f.lock);
    close_screen_locked(f, guard);
    if (width <= 0 || height <= 0) return 1;

    RasterImage page0{};
    RasterImage page1{};
    if (!allocate_block(&page0, width, height, kScreenClearColour)) return 1;
    if (!allocate_block(&page1, width, height, kScreenClearColour)) {
        std::free(page0.pixels);
        return 1;
    }
    f.pages[0] = page0;
    f.pages[1] = page1;
    f.screen_open = true;
    ++f.generation;
    if (!display_open(width, height)) {
        free_pages(detach_screen(f));
        return 1;
    }
    return 0;
}

bool screen_is_open() {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    return f.screen_open;
}

void close_screen() {
    Facility& f = facility();
    std::unique_lock<std::mutex> guard(f.lock);
    close_screen_locked(f, guard);
}

Image create_image(int32_t width, int32_t height, int32_t bits_per_pixel) {
    (void)bits_per_pixel;  // images are always 32-bit
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    if (!f.screen_open || width <= 0 || height <= 0) return kNullImage;
    auto* image = static_cast<RasterImage*>(std::malloc(sizeof(RasterImage)));
    if (image == nullptr) return kNullImage;
    if (!allocate_block(image, width, height, kImageDefaultFill)) {
        std::free(image);
        return kNullImage;
    }
    image->next_image = f.images;
    f.images = image;
    return image;
}

void destroy_image(Image image) {
    if (image == kNullImage) return;
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    for (RasterImage** link = &f.images; *link != nullptr; link = &(*link)->next_image) {
        if (*link == image) {
            *link = image->next_image;
            std::free(image->pixels);
            std::free(image);
            return;
        }
    }
}

int query_image(Image image, ImageInfo* info) {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    if (info == nullptr) return image == kNullImage ? 1 : 0;
    if (image == kNullImage) {
        *info = ImageInfo{-1, -1, -1, -1, nullptr, -1};
        return 1;
    }
    *info = ImageInfo{image->width, image->height, 4, image->pitch, image->pixels,
                      image->height * image->pitch};
    return 0;
}

void set_pixel(Image target, float x, float y, ArgbPixel colour) {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    if (!f.screen_open) return;
    const RasterImage& block = target == kNullImage ? f.pages[0] : *target;
    const int64_t px = round_coordinate(x);
    const int64_t py = round_coordinate(y);
    if (px < 0 || py < 0 || px >= block.width || py >= block.height) return;
    *pixel_address(block.pixels, block.pitch, px, py) = colour;
    if (target == kNullImage) ++f.generation;
}

void draw_image(float x, float y, Image image, BlitMode mode) {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    if (!f.screen_open || image == kNullImage) return;
    const RasterImage& screen = f.pages[0];
    BlitSpan span{};
    if (!clip_to(screen, *image, round_coordinate(x), round_coordinate(y), &span)) return;
    if (mode == BLIT_ALPHA) {
        blend_rows(screen.pixels, image->pixels, span);
    } else {
        copy_rows(screen.pixels, image->pixels, span);
    }
    ++f.generation;
}

void capture_screen(float x1, float y1, float x2, float y2, Image image) {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    if (!f.screen_open || image == kNullImage) return;
    const RasterImage& screen = f.pages[0];
    int64_t left = round_coordinate(x1);
    int64_t right = round_coordinate(x2);
    int64_t top = round_coordinate(y1);
    int64_t bottom = round_coordinate(y2);
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (left < 0 || top < 0 || right >= screen.width || bottom >= screen.height) return;

    const int64_t width = right - left + 1;
    const int64_t height = bottom - top + 1;
    const int64_t pitch = pitch_for_width(width);
    // The storage was sized at creation; a larger rectangle would write past it.
    if (height > image->capacity / pitch) return;
    image->width = width;
    image->height = height;
    image->pitch = pitch;
    copy_rows(image->pixels, screen.pixels,
              BlitSpan{0, 0, left, top, width, height, pitch, screen.pitch});
}

void copy_page() {
    // Page 0 is both the work and the visible page for the life of a screen,
    // so there is never anything to copy. Still taken under the lock, like
    // every call, so it orders with the display thread as the others do.
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
}

std::string poll_key() {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    if (f.keys.empty()) return std::string();
    std::string key = std::move(f.keys.front());
    f.keys.pop_front();
    return key;
}

void end_program(int status) {
    Facility& f = facility();
    {
        std::unique_lock<std::mutex> guard(f.lock);
        close_screen_locked(f, guard);
    }
    std::exit(status);
}

std::mutex& facility_lock() { return facility().lock; }

VisiblePage visible_page() {
    const Facility& f = facility();
    if (!f.screen_open) return VisiblePage{nullptr, 0, 0, 0, f.generation};
    const RasterImage& page = f.pages[0];
    return VisiblePage{page.pixels, static_cast<int32_t>(page.width),
                       static_cast<int32_t>(page.height), page.pitch, f.generation};
}

void queue_key(const std::string& key) {
    Facility& f = facility();
    std::lock_guard<std::mutex> guard(f.lock);
    f.keys.push_back(key);
}
