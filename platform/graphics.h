// The 2-D raster graphics facility: one screen of two 32-bit pages, images,
// set pixel, copy and alpha blits, screen capture, page copy, a key queue.
//
// Every call takes the facility's lock for its whole duration, so the display
// thread never shows a page in the middle of one call (it may show a frame
// between two calls). Every call accepts any argument without crashing: the
// null image, coordinates far off the target, calls with no screen open.
#pragma once

#include <cstdint>
#include <string>

// 0xAARRGGBB; alpha 0 is transparent, 255 opaque.
using ArgbPixel = uint32_t;

// An image of the facility. The facility owns the storage; the null image is
// what a failed creation yields.
struct RasterImage;
using Image = RasterImage*;
inline constexpr Image kNullImage = nullptr;

// Window options of open_screen.
inline constexpr uint32_t SCREEN_NO_FRAME = 1u << 0;
inline constexpr uint32_t SCREEN_NO_SWITCH = 1u << 1;
inline constexpr uint32_t SCREEN_HIGH_PRIORITY = 1u << 2;

inline constexpr ArgbPixel kScreenClearColour = 0xFF000000u;
inline constexpr ArgbPixel kImageDefaultFill = 0xFFFF00FFu;

enum BlitMode : uint8_t { BLIT_COPY = 0, BLIT_ALPHA = 1 };

// Rounds a coordinate as the facility does: halves away from zero, the
// addition done in double precision.
int64_t round_coordinate(float value);

// Opens the screen: both pages width x height, cleared to kScreenClearColour,
// page 0 the work and the visible page. Returns 0 when the screen is open;
// non-zero (and nothing open) when a size is not positive or no window can be
// made. refresh_rate 0 means no preference.
int open_screen(int32_t width, int32_t height, int32_t bits_per_pixel, int32_t pages,
                uint32_t options, int32_t refresh_rate);
bool screen_is_open();
// Closes the screen and its window; images stay valid. Does nothing when none is open.
void close_screen();

// A new width x height image, 4 bytes per pixel, pitch = width x 4 rounded up
// to 16 bytes, every pixel (the row tails included) kImageDefaultFill. The null
// image when no screen is open, a size is not positive, or memory runs out.
Image create_image(int32_t width, int32_t height, int32_t bits_per_pixel);

// Gives an image's storage back. The showcase never calls it (its images last
// as long as the process); tools and fuzz targets that make images in a loop
// do. An image the facility did not make, or the null image, is ignored.
void destroy_image(Image image);

struct ImageInfo {
    int64_t width;
    int64_t height;
    int64_t bytes_per_pixel;
    int64_t pitch;      // bytes from one row to the next
    ArgbPixel* pixels;  // top-left pixel
    int64_t size_bytes;
};
// 0 and the image's figures on success; for the null image non-zero, every
// number -1 and pixels null.
int query_image(Image image, ImageInfo* info);

// Replaces one pixel of target (the screen when target is the null image),
// all 32 bits, no blending. Outside the target, or with no screen open: nothing.
void set_pixel(Image target, float x, float y, ArgbPixel colour);

// Draws the whole image with its top-left corner at (x, y) on the screen,
// clipped on all four sides. Alpha mode: per channel, alpha byte included,
// d + floor((s - d) * a / 256) with a the image pixel's alpha.
void draw_image(float x, float y, Image image, BlitMode mode);

// Copies the screen rectangle between the two corners (both included, rounded
// and put in order) into image, which takes the rectangle's size and pitch.
// Nothing happens when the rectangle is not wholly on the screen or the
// image's storage cannot hold it.
void capture_screen(float x1, float y1, float x2, float y2, Image image);

// Copies the work page onto the visible page; nothing when they are the same.
void copy_page();

// The oldest queued key: one character, or two with the first 255 for a key
// with an extended code. Empty when no key waits.
std::string poll_key();

// Closes the screen and ends the process with status.
[[noreturn]] void end_program(int status);
