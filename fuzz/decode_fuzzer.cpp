// Feeds arbitrary bytes through the whole decode path, then a second file in
// the same process, so that whatever one file leaves in the decoder's record
// meets the next one.
//
// Input: FILE1 [kNextFile FILE2]. Without the separator the same bytes are
// decoded twice, which still exercises the carry-over from a decode of the
// same layout.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "decoder/bitmap_decoder.h"
#include "platform/files.h"
#include "platform/graphics.h"

namespace {

constexpr std::string_view kNextFile = "\nNEXTBMP\n";
constexpr const char* kServedName = "fuzz-input.bmp";

volatile ArgbPixel sink;

void decode_and_query(const uint8_t* bytes, size_t size) {
    file_serve_from_memory(kServedName, bytes, size);
    Image image = load_bitmap_image(kServedName);
    file_serve_from_memory(nullptr, nullptr, 0);

    const DecoderState& state = decoder_state;
    ArgbPixel* pixels = decoded_pixels();
    if ((state.loaded != 0) != (pixels != nullptr)) __builtin_trap();
    if (state.loaded == 0 && image != kNullImage) __builtin_trap();
    if (state.loaded != 0 && state.refusal[0] != '\0') __builtin_trap();
    if (state.loaded == 0 && state.refusal[0] == '\0') __builtin_trap();

    const uint32_t w = state.width;
    const uint32_t h = state.height;
    // Corners inside, and the first coordinates outside on every side.
    const uint32_t xs[] = {0, w - 1, w, w + 1, 0xFFFFFFFFu};
    const uint32_t ys[] = {0, h - 1, h, h + 1, 0xFFFFFFFFu};
    for (uint32_t x : xs) {
        for (uint32_t y : ys) {
            ArgbPixel value = pixel_at(x, y);
            bool inside = state.loaded != 0 && x < w && y < h;
            if (!inside && value != 0) __builtin_trap();
            if (inside && value != pixels[static_cast<size_t>(y) * w + x]) __builtin_trap();
            sink = value;
        }
    }
    if (state.loaded != 0) {
        // Touch every decoded pixel so that an unwritten one shows up under MSan-like
        // checks and an out-of-bounds buffer under ASan.
        ArgbPixel mix = 0;
        const size_t count = static_cast<size_t>(w) * h;
        for (size_t i = 0; i < count; ++i) mix ^= pixels[i];
        sink = mix;
        ImageInfo info;
        if (image != kNullImage && query_image(image, &info) == 0) {
            if (info.width != w || info.height != h) __builtin_trap();
            if (std::memcmp(info.pixels, pixels, static_cast<size_t>(w) * 4) != 0) __builtin_trap();
        }
    }
    destroy_image(image);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Images need an open screen; the headless back end opens one without a window.
    open_screen(64, 64, 32, 2, SCREEN_NO_FRAME | SCREEN_NO_SWITCH | SCREEN_HIGH_PRIORITY, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find(kNextFile);
    if (split == std::string_view::npos) {
        decode_and_query(data, size);
        decode_and_query(data, size);
    } else {
        decode_and_query(data, split);
        const size_t second = split + kNextFile.size();
        decode_and_query(data + second, size - second);
    }
    release_decoded_pixels();
    if (decoded_pixels() != nullptr) __builtin_trap();
    return 0;
}
