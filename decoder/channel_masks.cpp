// Channel masks: where each channel lies in a 16- or 32-bit pixel, how it
// widens to 8 bits, and the 65,536-entry colour table for 16-bit masked files.
//
// Every masked file is analysed afresh: shifts, widths and tables never keep
// a value from an earlier file, so what a file shows depends on it alone.
#include <bit>
#include <cmath>
#include <cstdio>

#include "decoder/bitmap_decoder.h"

namespace {

constexpr const char* kChannelNames[4] = {"red", "green", "blue", "alpha"};
constexpr uint32_t kChannelBits = 8;
constexpr ArgbPixel kOpaque = 0xFF000000u;

// The alpha of each value of a field of `width` bits (1 to 8), spread over 0
// to 255. Built as a running sum of 255 / (2^width - 1) rounded to even:
// 2^width - 1 is odd, so no sum lies on a half and each entry is the nearest
// integer to 255 x value / (2^width - 1).
void build_alpha_ramp(uint32_t width, uint8_t (&ramp)[256]) {
    const uint32_t largest = (1u << width) - 1;
    const double step = 255.0 / largest;
    double total = 0.0;
    for (uint32_t value = 0; value <= largest; ++value) {
        ramp[value] = static_cast<uint8_t>(static_cast<int64_t>(std::nearbyint(total)) & 0xFF);
        total += step;
    }
}

// alpha_table maps the alpha field, brought to 8 bits the way the colour
// channels are, to the alpha byte in bits 24 to 31. Narrow fields take the
// ramp so that their largest value is 255, not 255 minus the shifted-out bits.
void build_alpha_table(DecoderState& state) {
    const uint32_t width = state.channel_width[CHANNEL_ALPHA];
    if (state.has_alpha_mask == 0 || width == 0) {
        for (uint32_t& entry : state.alpha_table) entry = kOpaque;
        return;
    }
    if (width > kChannelBits) {
        for (uint32_t k = 0; k < 256; ++k) state.alpha_table[k] = k << 24;
        return;
    }
    uint8_t ramp[256] = {};
    build_alpha_ramp(width, ramp);
    const uint32_t widening = kChannelBits - width;
    for (uint32_t k = 0; k < 256; ++k) state.alpha_table[k] = uint32_t{ramp[k >> widening]} << 24;
}

}  // namespace

// Finds the lowest set bit of mask (at most bit 15) and the left shift that
// brings the field's top bit to bit 7, trying scales 0 to max_scale. shift and
// scale are written only when found; mask is left shifted down.
void analyse_mask16(uint32_t& mask, intptr_t& shift, intptr_t& scale, intptr_t max_scale) {
    for (intptr_t i = 0; i < 16; ++i) {
        if ((mask & 1u) != 0) {
            shift = i;
            break;
        }
        mask >>= 1;
    }
    uint32_t probe = mask;
    for (intptr_t j = 0; j <= max_scale; ++j) {
        if ((probe & 0x80u) != 0) {
            scale = j;
            return;
        }
        probe <<= 1;
    }
}

// Finds the lowest byte of mask that is 0xFF and writes its index; byte_index
// keeps its value when there is none. mask is left shifted down.
void analyse_mask32(uint32_t& mask, intptr_t& byte_index) {
    for (intptr_t i = 0; i < 4; ++i) {
        if ((mask & 0xFFu) == 0xFFu) {
            byte_index = i;
            return;
        }
        mask >>= 8;
    }
}

ChannelWidening channel_widening(uint32_t shift, uint32_t width) {
    if (width == 0) return {0, 0, 0};
    if (width <= kChannelBits) return {shift, (1u << width) - 1, kChannelBits - width};
    return {shift + width - kChannelBits, 0xFFu, 0};
}

// Reads channel_shift, channel_width and alpha_table; writes every entry of
// colour_table16, 0 included: a 16-bit value of 0 is black, opaque unless the
// file's alpha field says otherwise.
void build_colour_table16() {
    DecoderState& state = decoder_state;
    ChannelWidening fields[4];
    for (int c = 0; c < 4; ++c) {
        fields[c] = channel_widening(static_cast<uint32_t>(state.channel_shift[c]),
                                     state.channel_width[c]);
    }
    const ChannelWidening red = fields[CHANNEL_RED];
    const ChannelWidening green = fields[CHANNEL_GREEN];
    const ChannelWidening blue = fields[CHANNEL_BLUE];
    const ChannelWidening alpha = fields[CHANNEL_ALPHA];
    for (uint32_t value = 0; value < kColourTable16Entries; ++value) {
        state.colour_table16[value] =
            ((value >> red.right_shift) & red.field_mask) << red.left_shift << 16 |
            ((value >> green.right_shift) & green.field_mask) << green.left_shift << 8 |
            ((value >> blue.right_shift) & blue.field_mask) << blue.left_shift |
            state.alpha_table[((value >> alpha.right_shift) & alpha.field_mask) << alpha.left_shift];
    }
}

// Reads channel_mask, has_alpha_mask and format. Writes channel_shift,
// channel_width, channel_scale, channel_mask (shifted down to bit 0),
// alpha_table and, for 16-bit files, colour_table16.
bool analyse_channel_masks() {
    DecoderState& state = decoder_state;
    if (state.has_alpha_mask == 0) state.channel_mask[CHANNEL_ALPHA] = 0;
    for (int c = 0; c < 4; ++c) {
        const uint32_t mask = state.channel_mask[c];
        uint32_t shift = 0;
        uint32_t width = 0;
        if (mask != 0) {
            shift = static_cast<uint32_t>(std::countr_zero(mask));
            const uint32_t run = mask >> shift;
            // A run of ones plus one is a single bit; any gap leaves others.
            if ((run & (run + 1)) != 0) {
                std::snprintf(state.refusal, kRefusalLength,
                              "%s mask 0x%08X is not one contiguous run of bits", kChannelNames[c],
                              static_cast<unsigned>(mask));
                return false;
            }
            width = static_cast<uint32_t>(std::popcount(run));
        }
        state.channel_shift[c] = shift;
        state.channel_width[c] = width;
        state.channel_scale[c] = static_cast<intptr_t>(kChannelBits) - static_cast<intptr_t>(width);
        state.channel_mask[c] = mask >> shift;
    }
    build_alpha_table(state);
    if (state.format == FORMAT_MASKED16) build_colour_table16();
    return true;
}
