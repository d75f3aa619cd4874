// Drives the raster operations with arbitrary coordinates, sizes and images:
// every call must stay inside the pages and the images' storage.
//
// The input is read as a little program: one opcode byte, then its operands
// taken raw from the bytes (floats by their bit patterns, so NaN, infinities
// and huge values come up).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/graphics.h"

namespace {

constexpr int64_t kMaxFuzzPixels = int64_t{1} << 20;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    bool done() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
        return value;
    }
    float raw_float() {
        uint32_t bits = word();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Mostly coordinates near the screen, sometimes anything at all.
    float coordinate() {
        uint8_t kind = byte();
        if (kind < 200) return static_cast<float>(static_cast<int8_t>(byte())) * 0.75f;
        return raw_float();
    }
    // Mostly small sizes, sometimes raw 32-bit values that must be refused.
    int32_t side() {
        uint8_t kind = byte();
        if (kind < 230) return static_cast<int32_t>(byte() % 80);
        return static_cast<int32_t>(word());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    // Images live as long as the screen session; this run keeps a few.
    std::vector<Image> images = {kNullImage};
    int32_t screen_w = 1 + in.byte() % 96;
    int32_t screen_h = 1 + in.byte() % 96;
    open_screen(screen_w, screen_h, 32, 2, SCREEN_NO_FRAME | SCREEN_NO_SWITCH, 0);

    for (int step = 0; step < 64 && !in.done(); ++step) {
        Image image = images[in.byte() % images.size()];
        switch (in.byte() % 8) {
            case 0: {
                if (images.size() < 8) {
                    int32_t w = in.side();
                    int32_t h = in.side();
                    // A valid but huge image only costs time to fill; sizes that
                    // must be refused (zero, negative) still get through.
                    if (w > 0 && h > 0 && static_cast<int64_t>(w) * h > kMaxFuzzPixels) break;
                    Image made = create_image(w, h, 32);
                    if (made != kNullImage) images.push_back(made);
                }
                break;
            }
            case 1: {
                float x = in.coordinate();
                float y = in.coordinate();
                set_pixel(image, x, y, in.word());
                break;
            }
            case 2:
            case 3: {
                float x = in.coordinate();
                float y = in.coordinate();
                draw_image(x, y, image, (in.byte() & 1) ? BLIT_ALPHA : BLIT_COPY);
                break;
            }
            case 4: {
                float x1 = in.coordinate();
                float y1 = in.coordinate();
                float x2 = in.coordinate();
                float y2 = in.coordinate();
                capture_screen(x1, y1, x2, y2, image);
                break;
            }
            case 5:
                copy_page();
                break;
            case 6: {
                ImageInfo info;
                if (query_image(image, &info) == 0) {
                    // The reported geometry must lie inside the storage.
                    if (info.pitch < info.width * 4 || info.height * info.pitch > info.size_bytes)
                        __builtin_trap();
                    if (info.width > 0 && info.height > 0) {
                        volatile ArgbPixel last = *reinterpret_cast<ArgbPixel*>(
                            reinterpret_cast<uint8_t*>(info.pixels) + (info.height - 1) * info.pitch +
                            (info.width - 1) * 4);
                        (void)last;
                    }
                }
                break;
            }
            default:
                (void)poll_key();
                break;
        }
    }
    close_screen();
    for (Image made : images) {
        if (made != kNullImage) destroy_image(made);
    }
    return 0;
}
