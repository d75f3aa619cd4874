// Reading one BMP file into decoder_state: headers, classification, palette,
// channel masks, the size checks, then the raw pixel bytes.
//
// The acceptance rules run as a checklist in the order the file is read; each
// is an early return that closes the file and records its reason. Every number
// taken from the headers is checked here, before anything is allocated, so the
// conversion loops need no checks of their own.
#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/bitmap_decoder.h"
#include "platform/files.h"

// The one instance. Only the two header records differ from zero at start:
// a state that never read a file still describes a plain 32-bit BMP. Built at
// compile time, so the defaults hold before any other initialiser runs.
namespace {
constexpr DecoderState initial_decoder_state() {
    DecoderState state{};
    state.file_header.bfType = 0x4D42;
    state.file_header.bfOffBits = 54;
    state.info_header.biSize = 40;
    state.info_header.biPlanes = 1;
    state.info_header.biBitCount = 32;
    return state;
}
}  // namespace
constinit DecoderState decoder_state = initial_decoder_state();

namespace {

constexpr uint64_t kFileHeaderOffset = 0;
constexpr uint64_t kInfoHeaderOffset = 14;
constexpr uint64_t kHeadersEnd = kInfoHeaderOffset + sizeof(BITMAPINFOHEADER);  // 54
constexpr uint64_t kMasksOffset = kHeadersEnd;
constexpr uint64_t kMasksEnd = kMasksOffset + 16;  // 70: the alpha word ends here
// A 40- or 52-byte header holds no alpha mask; the word at offset 66 is then
// pixel data or padding, never a mask.
constexpr uint32_t kInfoSizeWithAlphaMask = 56;
// OS/2 1.x files carry a 12-byte core header of 16-bit fields; read as the
// Windows header its numbers mean nothing.
constexpr uint32_t kOs2CoreHeaderSize = 12;
constexpr uint16_t kSignatureBM = 0x4D42;
constexpr uint32_t kHighestRealCompression = 5;  // BI_RLE8 .. BI_PNG

// File positions of the file facility count from 1.
uint64_t position_of(uint64_t offset) { return offset + 1; }

[[gnu::format(printf, 1, 2)]] void set_refusal(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(decoder_state.refusal, kRefusalLength, format, arguments);
    va_end(arguments);
}

FormatCode classify(uint16_t bit_count, uint32_t compression) {
    switch (bit_count) {
        case 1: return FORMAT_MONO1;
        case 4:
            if (compression == BI_RGB) return FORMAT_PAL4;
            if (compression == BI_RLE4) return FORMAT_RLE4;
            return FORMAT_UNSUPPORTED;
        case 8:
            if (compression == BI_RGB) return FORMAT_PAL8;
            if (compression == BI_RLE8) return FORMAT_RLE8;
            return FORMAT_UNSUPPORTED;
        case 16:
            if (compression == BI_RGB) return FORMAT_RGB16;
            if (compression == BI_BITFIELDS) return FORMAT_MASKED16;
            return FORMAT_UNSUPPORTED;
        case 24: return FORMAT_RGB24;
        case 32:
            if (compression == BI_RGB) return FORMAT_RGB32;
            if (compression == BI_BITFIELDS) return FORMAT_MASKED32;
            return FORMAT_UNSUPPORTED;
        default: return FORMAT_UNSUPPORTED;
    }
}

// biClrUsed, else a larger biClrImportant, else as many 4-byte entries as fit
// between the info header and the pixel data; never more than the table holds.
uint32_t palette_entry_count(const BITMAPFILEHEADER& file, const BITMAPINFOHEADER& info) {
    uint32_t count = info.biClrUsed & 0xFFFF;
    if (info.biClrImportant > count) count = info.biClrImportant & 0xFFFF;
    if (count == 0) {
        const uint32_t gap = file.bfOffBits - info.biSize - static_cast<uint32_t>(kInfoHeaderOffset);
        count = static_cast<uint16_t>(gap) >> 2;
    }
    return count < kPaletteEntries ? count : static_cast<uint32_t>(kPaletteEntries);
}

// Header figures in 64-bit unsigned. pixel_count comes first and is checked
// against kMaxBitmapPixels before the others are trusted: below that limit
// none of the products can overflow.
struct BitmapSizes {
    uint64_t pixel_count;
    uint64_t source_stride;  // a stored row rounded up to whole 32-bit words
    uint64_t rows_bytes;     // height stored rows
    uint64_t argb_bytes;
};

BitmapSizes bitmap_sizes(uint32_t width, uint32_t height, uint32_t bits_per_pixel) {
    BitmapSizes sizes{};
    sizes.pixel_count = uint64_t{width} * height;
    if (sizes.pixel_count > kMaxBitmapPixels) return sizes;
    sizes.source_stride = (uint64_t{bits_per_pixel} * width + 31) / 32 * 4;
    sizes.rows_bytes = sizes.source_stride * height;
    sizes.argb_bytes = sizes.pixel_count * sizeof(ArgbPixel);
    return sizes;
}

bool fits_in_memory_size(uint64_t bytes) { return bytes <= SIZE_MAX; }

// Reads the palette of a 1-, 4- or 8-bit file. Every entry is cleared first, so
// an index past the file's palette shows 0x00000000 whatever came before.
void read_palette(int32_t handle) {
    DecoderState& state = decoder_state;
    std::memset(state.palette_red, 0, sizeof(state.palette_red));
    std::memset(state.palette_green, 0, sizeof(state.palette_green));
    std::memset(state.palette_blue, 0, sizeof(state.palette_blue));
    std::memset(state.palette_reserved, 0, sizeof(state.palette_reserved));
    std::memset(state.palette_argb, 0, sizeof(state.palette_argb));

    const uint32_t count = palette_entry_count(state.file_header, state.info_header);
    state.palette_count = count;
    uint8_t entries[kPaletteEntries * 4];
    // Bytes past the end of the file arrive as 0: such entries are opaque black.
    file_read(handle, position_of(kInfoHeaderOffset + uint64_t{state.info_header.biSize}),
              entries, uint64_t{count} * 4);
    for (uint32_t i = 0; i < count; ++i) {
        state.palette_blue[i] = entries[i * 4];
        state.palette_green[i] = entries[i * 4 + 1];
        state.palette_red[i] = entries[i * 4 + 2];
        state.palette_reserved[i] = entries[i * 4 + 3];
        state.palette_argb[i] = 0xFF000000u | state.palette_red[i] << 16 |
                                state.palette_green[i] << 8 | state.palette_blue[i];
    }
    // A 1-bit file without any palette entry is plain black on white.
    if (state.format == FORMAT_MONO1 && count == 0) {
        state.palette_argb[0] = 0xFF000000u;
        state.palette_argb[1] = 0xFFFFFFFFu;
    }
}

// Reads the masks at offset 54 and analyses them. false when a mask is refused.
bool read_channel_masks(int32_t handle) {
    DecoderState& state = decoder_state;
    file_read(handle, position_of(kMasksOffset), state.file_masks, sizeof(state.file_masks));
    if (state.info_header.biSize < kInfoSizeWithAlphaMask) state.file_masks[CHANNEL_ALPHA] = 0;
    state.has_alpha_mask = state.file_masks[CHANNEL_ALPHA] != 0 ? FLAG_SET : FLAG_CLEAR;
    std::memcpy(state.channel_mask, state.file_masks, sizeof(state.channel_mask));
    return analyse_channel_masks();
}

}  // namespace

// Reads: the file `name`. Writes: the headers, sizes, layout, palette, masks and
// their tables, pixel_bytes and argb_pixels, loaded and refusal. Releases the
// previous file's buffers first, so a refused file leaves nothing allocated.
void read_bitmap_file(const char* name) {
    DecoderState& state = decoder_state;
    if (state.loaded != 0) release_decoded_pixels();
    std::free(state.pixel_bytes);  // left behind only by a read that was never converted
    state.pixel_bytes = nullptr;
    state.refusal[0] = '\0';
    state.format = FORMAT_UNSUPPORTED;
    state.has_masks = FLAG_CLEAR;
    state.has_alpha_mask = FLAG_CLEAR;
    state.top_down = FLAG_CLEAR;
    state.palette_count = 0;

    const int32_t handle = file_free_handle();
    if (name == nullptr || handle == 0 || file_open(name, handle) != 0) {
        set_refusal("cannot open the file");
        return;
    }
    // From here every refusal closes the file first.
    auto refuse = [handle]() { file_close(handle); };

    // The checks use the 64-bit figures; the record's pointer-width copies may
    // be narrower in a 32-bit build, where fits_in_memory_size guards the rest.
    const uint64_t length = file_length(handle);
    state.file_length = static_cast<uintptr_t>(length);
    if (length <= kHeadersEnd) {
        set_refusal("file is %" PRIu64 " bytes, too short for the headers", length);
        return refuse();
    }

    file_read(handle, position_of(kFileHeaderOffset), &state.file_header, sizeof(state.file_header));
    if (state.file_header.bfType != kSignatureBM) {
        set_refusal("not a BMP file (signature 0x%04X)", state.file_header.bfType);
        return refuse();
    }

    file_read(handle, 0, &state.info_header, sizeof(state.info_header));
    const BITMAPINFOHEADER& info = state.info_header;
    if (info.biSize == kOs2CoreHeaderSize) {
        set_refusal("OS/2 1.x core header (biSize 12) is not read");
        return refuse();
    }

    // Negative biHeight: rows stored top-down. Negative biWidth has no such
    // meaning; read unsigned it is far beyond the pixel limit.
    state.width = static_cast<uint32_t>(info.biWidth);
    state.height = static_cast<uint32_t>(info.biHeight);
    if (info.biHeight < 0) {
        if (info.biHeight == INT32_MIN) {
            set_refusal("biHeight %" PRId32 " has no top-down height", info.biHeight);
            return refuse();
        }
        state.height = 0u - state.height;
        state.top_down = FLAG_SET;
    }
    if (state.width == 0 || state.height == 0) {
        set_refusal("%s 0", state.width == 0 ? "biWidth" : "biHeight");
        return refuse();
    }
    if (uint64_t{state.width} * state.height > kMaxBitmapPixels) {
        set_refusal("%" PRIu32 " x %" PRIu32 " pixels exceeds the limit of 2^28", state.width,
                    state.height);
        return refuse();
    }
    // Each decode keeps three row tables of one pointer per row. For a tall
    // picture a few pixels wide they would outweigh the picture many times
    // over (1 x 2^28 pixels would need 6 GiB of tables), so they may not need
    // more than the picture itself or a fixed allowance, whichever is larger.
    const uint64_t row_table_bytes = uint64_t{state.height} * kRowTableBytesPerRow;
    const uint64_t picture_bytes = uint64_t{state.width} * state.height * sizeof(ArgbPixel);
    if (row_table_bytes > std::max(picture_bytes, kRowTableAllowanceBytes)) {
        set_refusal("%" PRIu32 " rows of %" PRIu32 " pixels need %" PRIu64
                    " bytes of row tables, more than the picture",
                    state.height, state.width, row_table_bytes);
        return refuse();
    }

    state.format = classify(info.biBitCount, info.biCompression);
    const FormatFacts& facts = kFormatFacts[state.format];
    state.has_masks = facts.masks;
    if (info.biBitCount == 1 || info.biBitCount == 4 || info.biBitCount == 8) read_palette(handle);
    if (state.format == FORMAT_UNSUPPORTED) {
        set_refusal("biBitCount %u with biCompression %" PRIu32 " is not a supported layout",
                    info.biBitCount, info.biCompression);
        return refuse();
    }
    // The bit counts that accept any compression still cannot show compressed
    // data as raw pixels.
    if ((state.format == FORMAT_MONO1 || state.format == FORMAT_RGB24) &&
        info.biCompression >= BI_RLE8 && info.biCompression <= kHighestRealCompression) {
        set_refusal("%u-bit data with compression %" PRIu32, info.biBitCount, info.biCompression);
        return refuse();
    }
    if (facts.run_length != 0 && state.top_down != 0) {
        set_refusal("top-down RLE file (biHeight %" PRId32 ")", info.biHeight);
        return refuse();
    }
    if (state.has_masks != 0) {
        if (length <= kMasksEnd) {
            set_refusal("file is %" PRIu64 " bytes, too short for its channel masks", length);
            return refuse();
        }
        if (!read_channel_masks(handle)) return refuse();
    }

    const uint32_t off_bits = state.file_header.bfOffBits;
    if (off_bits > length) {
        set_refusal("bfOffBits %" PRIu32 " lies past the end of the %" PRIu64 "-byte file",
                    off_bits, length);
        return refuse();
    }
    const uint64_t data_size = length - off_bits;
    state.data_size = static_cast<uintptr_t>(data_size);
    if (info.biSizeImage != data_size) {
        set_refusal("biSizeImage %" PRIu32 " does not match the %" PRIu64 " bytes of pixel data",
                    info.biSizeImage, data_size);
        return refuse();
    }
    if (data_size == 0) {
        set_refusal("no pixel data (bfOffBits %" PRIu32 " is the end of the file)", off_bits);
        return refuse();
    }
    const BitmapSizes sizes = bitmap_sizes(state.width, state.height, facts.bits_per_pixel);
    if (facts.run_length == 0 && data_size < sizes.rows_bytes) {
        set_refusal("pixel data holds %" PRIu64 " bytes, rows need %" PRIu64, data_size,
                    sizes.rows_bytes);
        return refuse();
    }
    if (!fits_in_memory_size(data_size) || !fits_in_memory_size(sizes.argb_bytes)) {
        set_refusal("%" PRIu64 " bytes of pixel data are too many for this build", data_size);
        return refuse();
    }

    state.pixel_bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(data_size)));
    state.argb_pixels = static_cast<ArgbPixel*>(std::malloc(static_cast<size_t>(sizes.argb_bytes)));
    if (state.pixel_bytes == nullptr || state.argb_pixels == nullptr) {
        std::free(state.pixel_bytes);
        std::free(state.argb_pixels);
        state.pixel_bytes = nullptr;
        state.argb_pixels = nullptr;
        set_refusal("cannot allocate %" PRIu64 " + %" PRIu64 " bytes", data_size, sizes.argb_bytes);
        return refuse();
    }
    file_read(handle, position_of(off_bits), state.pixel_bytes, data_size);
    file_close(handle);
    state.loaded = FLAG_SET;
}

// Frees argb_pixels and clears loaded when a file is loaded; nothing otherwise.
// The row tables stay: they are replaced by the next decode.
void release_decoded_pixels() {
    DecoderState& state = decoder_state;
    if (state.loaded == 0) return;
    std::free(state.argb_pixels);
    state.argb_pixels = nullptr;
    state.loaded = FLAG_CLEAR;
}
