// Pixel conversion: stored rows (or an RLE stream) to top-down ARGB, and the
// three ways the picture leaves the decoder: an image, one pixel, the buffer.
//
// The reader has already proven that pixel_bytes holds height whole stored
// rows and that the picture is within kMaxBitmapPixels, so the row loops run
// without checks: one tight loop per layout, the layout chosen once per
// picture. Only the RLE decoder, whose stream cannot be checked up front,
// tests its reads against the data's end and its writes against the row's.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "decoder/bitmap_decoder.h"
#include "decoder/row_kernels.h"

namespace {

constexpr ArgbPixel kOpaque = 0xFF000000u;

// ---- the loops of the layouts the kernels do not cover -------------------
// The common layouts convert through row_kernels.cpp, whose plain forms are
// the reference loops; bit and nibble positions start afresh in every row,
// and the bits after the last pixel and a row's filler bytes are never read.

struct FieldLayout {
    ChannelWidening red, green, blue, alpha;
};

void row_masked32_fields(const uint8_t* __restrict source, ArgbPixel* __restrict target,
                         uint32_t width, const FieldLayout& fields,
                         const uint32_t* __restrict alpha_table) {
    const ChannelWidening red = fields.red;
    const ChannelWidening green = fields.green;
    const ChannelWidening blue = fields.blue;
    const ChannelWidening alpha = fields.alpha;
    for (size_t x = 0; x < width; ++x) {
        const uint8_t* pixel = source + 4 * x;
        const uint32_t value = uint32_t{pixel[3]} << 24 | uint32_t{pixel[2]} << 16 |
                               uint32_t{pixel[1]} << 8 | pixel[0];
        target[x] = ((value >> red.right_shift) & red.field_mask) << red.left_shift << 16 |
                    ((value >> green.right_shift) & green.field_mask) << green.left_shift << 8 |
                    ((value >> blue.right_shift) & blue.field_mask) << blue.left_shift |
                    alpha_table[((value >> alpha.right_shift) & alpha.field_mask)
                                << alpha.left_shift];
    }
}

// ---- what the 32-bit masked loops need, worked out once per picture -------

FieldLayout field_layout(const DecoderState& state) {
    ChannelWidening fields[4];
    for (int c = 0; c < 4; ++c) {
        fields[c] = channel_widening(static_cast<uint32_t>(state.channel_shift[c]),
                                     state.channel_width[c]);
    }
    return {fields[CHANNEL_RED], fields[CHANNEL_GREEN], fields[CHANNEL_BLUE],
            fields[CHANNEL_ALPHA]};
}

// A channel whose mask is exactly one 0xFF byte is that byte of the pixel.
bool is_whole_byte(const DecoderState& state, int channel) {
    return state.channel_width[channel] == 8 && state.channel_shift[channel] % 8 == 0;
}

bool byte_shuffle_applies(const DecoderState& state) {
    return is_whole_byte(state, CHANNEL_RED) && is_whole_byte(state, CHANNEL_GREEN) &&
           is_whole_byte(state, CHANNEL_BLUE) &&
           (state.has_alpha_mask == 0 || is_whole_byte(state, CHANNEL_ALPHA));
}

ByteOrder byte_shuffle(const DecoderState& state) {
    const bool alpha = state.has_alpha_mask != 0;
    return {static_cast<uint32_t>(state.channel_shift[CHANNEL_RED] / 8),
            static_cast<uint32_t>(state.channel_shift[CHANNEL_GREEN] / 8),
            static_cast<uint32_t>(state.channel_shift[CHANNEL_BLUE] / 8),
            alpha ? static_cast<uint32_t>(state.channel_shift[CHANNEL_ALPHA] / 8) : 0u,
            alpha ? 0u : kOpaque};
}

// Most 32-bit BI_RGB writers leave the fourth byte 0: such a file means no
// alpha at all, not a fully transparent picture.
void make_opaque_when_alpha_unused(ArgbPixel* pixels, size_t count) {
    uint32_t any_alpha = 0;
    for (size_t i = 0; i < count; ++i) any_alpha |= pixels[i];
    if ((any_alpha & kOpaque) != 0) return;
    for (size_t i = 0; i < count; ++i) pixels[i] |= kOpaque;
}

// ---- run-length streams --------------------------------------------------
// Stored row 0 is the bottom row; a delta's dy moves toward later stored rows.
// Runs never wrap: what lies past the right edge is dropped.

// How many of `count` pixels starting at column x fall inside the row.
uint64_t rle_visible_count(uint64_t x, uint64_t count, uint32_t width) {
    return x >= width ? 0 : std::min<uint64_t>(count, width - x);
}

// How far the stream has come, in its own order (stored rows upward, each
// left to right): every pixel before (row, x) holds its final value. The
// stream only ever moves forward, so the pixels it skips are cleared as it
// passes them and each pixel is written once, not cleared first and then
// overwritten.
struct RleCursor {
    uint64_t row;
    uint64_t x;
};

// Pixels the stream never sets stay transparent black: clears from the cursor
// up to (row, x), an x past the right edge meaning the end of that row.
void clear_until(const DecoderState& state, RleCursor& done, uint64_t row, uint64_t x) {
    const uint32_t width = state.width;
    const uint64_t last_row = std::min<uint64_t>(row, state.height);
    for (; done.row < last_row; ++done.row, done.x = 0) {
        std::memset(state.target_rows[done.row] + done.x, 0,
                    (width - done.x) * sizeof(ArgbPixel));
    }
    if (done.row < state.height && x > done.x) {
        const uint64_t end = std::min<uint64_t>(x, width);
        std::memset(state.target_rows[done.row] + done.x, 0, (end - done.x) * sizeof(ArgbPixel));
        done.x = end;
    }
}

void decode_rle_stream(DecoderState& state, RleCursor& done) {
    const uint32_t width = state.width;
    const uint32_t height = state.height;
    const bool nibbles = state.format == FORMAT_RLE4;
    const uint8_t* data = state.pixel_bytes;
    const uint64_t size = state.data_size;
    const ArgbPixel* palette = state.palette_argb;
    const RowPath path = fastest_row_path();
    // Long runs of a picture far larger than the cache are written past it.
    const bool streaming_stores =
        size_t{width} * height * sizeof(ArgbPixel) >= kStreamingOutputBytes;

    uint64_t at = 0;
    uint64_t x = 0;
    uint64_t row = 0;
    while (row < height && size - at >= 2) {
        const uint32_t count = data[at];
        const uint32_t code = data[at + 1];
        at += 2;
        ArgbPixel* target = state.target_rows[row];
        if (count > 0) {  // an encoded run of one colour, or two alternating
            const uint64_t visible = rle_visible_count(x, count, width);
            const ArgbPixel first = palette[nibbles ? code >> 4 : code];
            const ArgbPixel second = palette[nibbles ? code & 0x0Fu : code];
            if (visible > 0) {
                clear_until(state, done, row, x);
                fill_pixel_pair(path, streaming_stores, target + x, visible, first, second);
                done.x = x + visible;
            }
            x += count;
            continue;
        }
        switch (code) {
            case 0:  // end of line
                x = 0;
                ++row;
                break;
            case 1:  // end of bitmap
                return;
            case 2:  // delta: right and up, never left
                if (size - at < 2) return;
                x += data[at];
                row += data[at + 1];
                at += 2;
                break;
            default: {  // absolute run of `code` pixels, padded to 16 bits
                const uint64_t run_bytes = nibbles ? (uint64_t{code} + 1) / 2 : code;
                const uint64_t present_bytes = std::min(run_bytes, size - at);
                const uint64_t present = nibbles ? std::min<uint64_t>(code, present_bytes * 2)
                                                 : present_bytes;
                const uint64_t visible = rle_visible_count(x, present, width);
                const uint8_t* run = data + at;
                if (visible > 0) {
                    clear_until(state, done, row, x);
                    // A run starts on a whole byte with its high nibble, as a
                    // stored 4-bit row does.
                    if (nibbles) {
                        row_kernel_pal4(path, false, run, target + x,
                                        static_cast<uint32_t>(visible), palette);
                    } else {
                        for (uint64_t i = 0; i < visible; ++i) target[x + i] = palette[run[i]];
                    }
                    done.x = x + visible;
                }
                x += code;
                at += std::min(size - at, run_bytes + (run_bytes & 1));
                break;
            }
        }
    }
}

void decode_rle(DecoderState& state) {
    RleCursor done{0, 0};
    decode_rle_stream(state, done);
    clear_until(state, done, state.height, 0);
    finish_streamed_runs();
}

}  // namespace

const char* format_code_name(FormatCode format) {
    return format <= FORMAT_RLE8 ? kFormatFacts[format].name : kFormatFacts[0].name;
}

// Reads format, width, height, top_down and the two buffers; writes
// source_stride (not for RLE, which has no stored rows) and the three tables.
void build_row_tables() {
    DecoderState& state = decoder_state;
    const FormatFacts& facts = kFormatFacts[state.format];
    const uint32_t width = state.width;
    const uint32_t height = state.height;
    if (facts.run_length == 0) {
        state.source_stride =
            static_cast<intptr_t>((uint64_t{facts.bits_per_pixel} * width + 31) / 32 * 4);
    }
    const intptr_t stride = facts.run_length == 0 ? state.source_stride : 0;
    state.image_rows.assign(height, nullptr);
    state.target_rows.assign(height, nullptr);
    state.source_rows.assign(height, nullptr);
    for (uint32_t i = 0; i < height; ++i) {
        state.image_rows[i] = state.argb_pixels + size_t{i} * width;
        state.source_rows[i] = state.pixel_bytes + static_cast<intptr_t>(i) * stride;
    }
    // Bottom-up files store the picture's last row first; top-down ones its first.
    for (uint32_t i = 0; i < height; ++i) {
        state.target_rows[i] = state.top_down != 0 ? state.image_rows[i]
                                                   : state.image_rows[height - 1 - i];
    }
}

// Converts one stored row of `width` pixels. Does nothing for RLE layouts,
// whose rows exist only inside the stream.
void convert_row(const uint8_t* source_row, ArgbPixel* target_row) {
    const DecoderState& state = decoder_state;
    const uint32_t width = state.width;
    const RowPath path = fastest_row_path();
    const ArgbPixel* palette = state.palette_argb;
    switch (state.format) {
        case FORMAT_MONO1: row_kernel_mono1(path, false, source_row, target_row, width, palette); break;
        case FORMAT_PAL4: row_kernel_pal4(path, false, source_row, target_row, width, palette); break;
        case FORMAT_PAL8: row_kernel_pal8(path, false, source_row, target_row, width, palette); break;
        case FORMAT_RGB16: row_kernel_rgb555(path, false, source_row, target_row, width); break;
        case FORMAT_MASKED16:
            row_kernel_lookup16(path, false, source_row, target_row, width, state.colour_table16);
            break;
        case FORMAT_RGB24: row_kernel_rgb24(path, false, source_row, target_row, width); break;
        case FORMAT_RGB32: row_kernel_rgb32(path, false, source_row, target_row, width); break;
        case FORMAT_MASKED32:
            if (byte_shuffle_applies(state)) {
                row_kernel_shuffle32(path, false, source_row, target_row, width, byte_shuffle(state));
            } else {
                row_masked32_fields(source_row, target_row, width, field_layout(state),
                                    state.alpha_table);
            }
            break;
        default: break;
    }
}

// Converts the whole picture: each stored row into its target row, or the RLE
// stream into the rows it addresses. The layout is chosen once, here.
void convert_rows() {
    DecoderState& state = decoder_state;
    const uint32_t width = state.width;
    const uint32_t height = state.height;
    uint8_t* const* source = state.source_rows.data();
    ArgbPixel* const* target = state.target_rows.data();
    // A picture far larger than the cache is written past it.
    const RowPath path = fastest_row_path();
    const bool stream = size_t{width} * height * sizeof(ArgbPixel) >= kStreamingOutputBytes;
    switch (state.format) {
        case FORMAT_MONO1:
            for (uint32_t i = 0; i < height; ++i)
                row_kernel_mono1(path, stream, source[i], target[i], width, state.palette_argb);
            break;
        case FORMAT_PAL4:
            for (uint32_t i = 0; i < height; ++i)
                row_kernel_pal4(path, stream, source[i], target[i], width, state.palette_argb);
            break;
        case FORMAT_PAL8:
            for (uint32_t i = 0; i < height; ++i)
                row_kernel_pal8(path, stream, source[i], target[i], width, state.palette_argb);
            break;
        case FORMAT_RGB16:
            for (uint32_t i = 0; i < height; ++i)
                row_kernel_rgb555(path, stream, source[i], target[i], width);
            break;
        case FORMAT_MASKED16:
            for (uint32_t i = 0; i < height; ++i)
                row_kernel_lookup16(path, stream, source[i], target[i], width,
                                    state.colour_table16);
            break;
        case FORMAT_RGB24:
            for (uint32_t i = 0; i < height; ++i)
                row_kernel_rgb24(path, stream, source[i], target[i], width);
            break;
        case FORMAT_RGB32: {
            uint32_t any_pixel_bits = 0;
            for (uint32_t i = 0; i < height; ++i)
                any_pixel_bits |= row_kernel_rgb32(path, stream, source[i], target[i], width);
            if ((any_pixel_bits & kOpaque) == 0)
                make_opaque_when_alpha_unused(state.argb_pixels, size_t{width} * height);
            break;
        }
        case FORMAT_MASKED32:
            if (byte_shuffle_applies(state)) {
                const ByteOrder bytes = byte_shuffle(state);
                for (uint32_t i = 0; i < height; ++i)
                    row_kernel_shuffle32(path, stream, source[i], target[i], width, bytes);
            } else {
                const FieldLayout fields = field_layout(state);
                for (uint32_t i = 0; i < height; ++i)
                    row_masked32_fields(source[i], target[i], width, fields, state.alpha_table);
            }
            break;
        case FORMAT_RLE4:
        case FORMAT_RLE8: decode_rle(state); break;
        default: break;
    }
}

// Reads the file and converts it; afterwards no raw pixel data is held.
void decode_bitmap(const char* name) {
    DecoderState& state = decoder_state;
    read_bitmap_file(name);
    if (state.loaded == 0) return;
    build_row_tables();
    convert_rows();
    std::free(state.pixel_bytes);
    state.pixel_bytes = nullptr;
}

// A new image holding the decoded picture, or the null image when nothing is
// decoded or the facility refuses. Rows step by the pitch the facility reports.
Image make_decoded_image() {
    const DecoderState& state = decoder_state;
    if (state.loaded == 0) return kNullImage;
    Image image = create_image(static_cast<int32_t>(state.width),
                               static_cast<int32_t>(state.height), 32);
    ImageInfo info{};
    if (query_image(image, &info) != 0 || info.pixels == nullptr) return kNullImage;
    uint8_t* first_row = reinterpret_cast<uint8_t*>(info.pixels);
    const size_t row_bytes = size_t{state.width} * sizeof(ArgbPixel);
    for (uint32_t r = 0; r < state.height; ++r) {
        std::memcpy(first_row + static_cast<int64_t>(r) * info.pitch,
                    state.argb_pixels + size_t{r} * state.width, row_bytes);
    }
    return image;
}

Image load_bitmap_image(const char* name) {
    decode_bitmap(name);
    return make_decoded_image();
}

ArgbPixel pixel_at(uint32_t x, uint32_t y) {
    DecoderState& state = decoder_state;
    // Addressed through argb_pixels rather than the row tables, so that a query
    // after a read that was never converted stays inside the buffer.
    const ArgbPixel pixel = state.loaded != 0 && y < state.height && x < state.width
                                ? state.argb_pixels[size_t{y} * state.width + x]
                                : 0;
    state.current_pixel = pixel;
    return pixel;
}

void pixel_at_unchecked(intptr_t x, intptr_t y) {
    decoder_state.current_pixel =
        decoder_state.argb_pixels[static_cast<size_t>(y) * decoder_state.width +
                                  static_cast<size_t>(x)];
}

ArgbPixel* decoded_pixels() { return decoder_state.argb_pixels; }
