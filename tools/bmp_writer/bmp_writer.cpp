#include "tools/bmp_writer/bmp_writer.h"

#include <algorithm>
#include <cstdio>

namespace bmp_writer {
namespace {

constexpr size_t kMaskWords = 4;
constexpr size_t kRleMaxRun = 255;
constexpr size_t kRleMinRepeat = 3;    // shorter repeats cost no more as single runs
constexpr size_t kRleMinAbsolute = 3;  // absolute counts 0..2 are the escapes

void append_u16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void append_u32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// The header proper, masks that fit inside it included; returns how many
// masks it took.
size_t append_info_header(std::vector<uint8_t>& out, const BmpSpec& spec) {
    if (spec.info_size == kCoreHeaderSize) {
        append_u32(out, spec.info_size);
        append_u16(out, static_cast<uint16_t>(spec.width));
        append_u16(out, static_cast<uint16_t>(spec.height));
        append_u16(out, spec.planes);
        append_u16(out, spec.bit_count);
        return 0;
    }
    std::vector<uint8_t> record;
    append_u32(record, spec.info_size);
    append_u32(record, static_cast<uint32_t>(spec.width));
    append_u32(record, static_cast<uint32_t>(spec.height));
    append_u16(record, spec.planes);
    append_u16(record, spec.bit_count);
    append_u32(record, spec.compression);
    append_u32(record, spec.size_image.value_or(static_cast<uint32_t>(spec.pixel_data.size())));
    append_u32(record, static_cast<uint32_t>(spec.x_pels_per_meter));
    append_u32(record, static_cast<uint32_t>(spec.y_pels_per_meter));
    append_u32(record, spec.clr_used.value_or(static_cast<uint32_t>(spec.palette.size())));
    append_u32(record, spec.clr_important.value_or(0));

    size_t masks_inside = 0;
    if (spec.info_size >= kInfoHeaderSize) {
        const size_t slots = std::min<size_t>((spec.info_size - kInfoHeaderSize) / 4, kMaskWords);
        masks_inside = std::min(slots, spec.masks.size());
        for (size_t i = 0; i < masks_inside; ++i) append_u32(record, spec.masks[i]);
    }
    record.resize(spec.info_size, 0);
    out.insert(out.end(), record.begin(), record.end());
    return masks_inside;
}

size_t palette_entry_size(const BmpSpec& spec) { return spec.info_size == kCoreHeaderSize ? 3 : 4; }

// Appends the bits of one value at bit position `bit` of a row, high bits first.
void put_bits(uint8_t* row, size_t bit, uint16_t bit_count, uint32_t value) {
    const uint32_t mask = (1u << bit_count) - 1;
    const int shift = 8 - bit_count - static_cast<int>(bit % 8);
    row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~(mask << shift)) | ((value & mask) << shift));
}

// Run-length encoding of one row of values; `nibbles` selects the RLE4 packing
// where a run byte holds two pixels (high nibble first).
void encode_rle_row(std::vector<uint8_t>& out, const uint8_t* row, size_t width, bool nibbles) {
    size_t x = 0;
    while (x < width) {
        size_t repeat = 1;
        while (x + repeat < width && repeat < kRleMaxRun && row[x + repeat] == row[x]) ++repeat;
        if (repeat >= kRleMinRepeat) {
            out.push_back(static_cast<uint8_t>(repeat));
            out.push_back(nibbles ? static_cast<uint8_t>((row[x] & 0xF) << 4 | (row[x] & 0xF)) : row[x]);
            x += repeat;
            continue;
        }
        // A literal stretch lasts until the next repeat worth encoding.
        size_t literal = 0;
        while (x + literal < width && literal < kRleMaxRun) {
            const uint8_t* at = row + x + literal;
            const size_t left = width - x - literal;
            if (left >= kRleMinRepeat && at[1] == at[0] && at[2] == at[0]) break;
            ++literal;
        }
        if (literal < kRleMinAbsolute) {
            // One or two pixels: a run whose byte holds them (RLE4) or one run each (RLE8).
            if (nibbles) {
                const uint8_t second = literal == 2 ? row[x + 1] : 0;
                out.push_back(static_cast<uint8_t>(literal));
                out.push_back(static_cast<uint8_t>((row[x] & 0xF) << 4 | (second & 0xF)));
            } else {
                for (size_t i = 0; i < literal; ++i) {
                    out.push_back(1);
                    out.push_back(row[x + i]);
                }
            }
            x += literal;
            continue;
        }
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(literal));
        size_t data_bytes = 0;
        if (nibbles) {
            for (size_t i = 0; i < literal; i += 2) {
                const uint8_t low = i + 1 < literal ? row[x + i + 1] : 0;
                out.push_back(static_cast<uint8_t>((row[x + i] & 0xF) << 4 | (low & 0xF)));
                ++data_bytes;
            }
        } else {
            out.insert(out.end(), row + x, row + x + literal);
            data_bytes = literal;
        }
        if (data_bytes % 2 != 0) out.push_back(0);  // absolute runs end on a 16-bit boundary
        x += literal;
    }
}

std::vector<uint8_t> encode_rle(const std::vector<uint8_t>& top_down_indices, uint32_t width,
                                uint32_t height, bool nibbles) {
    std::vector<uint8_t> out;
    for (uint32_t stored = 0; stored < height; ++stored) {
        const size_t source_row = height - 1 - stored;
        encode_rle_row(out, top_down_indices.data() + source_row * width, width, nibbles);
        out.push_back(0);
        out.push_back(stored + 1 == height ? 1 : 0);
    }
    if (height == 0) {
        out.push_back(0);
        out.push_back(1);
    }
    return out;
}

}  // namespace

std::vector<uint8_t> build_bmp(const BmpSpec& spec) {
    std::vector<uint8_t> header;
    const size_t masks_inside = append_info_header(header, spec);
    for (size_t i = masks_inside; i < spec.masks.size(); ++i) append_u32(header, spec.masks[i]);
    for (uint32_t entry : spec.palette) {
        header.push_back(static_cast<uint8_t>(entry));        // blue
        header.push_back(static_cast<uint8_t>(entry >> 8));   // green
        header.push_back(static_cast<uint8_t>(entry >> 16));  // red
        if (palette_entry_size(spec) == 4) header.push_back(static_cast<uint8_t>(entry >> 24));
    }
    header.insert(header.end(), spec.gap.begin(), spec.gap.end());

    const size_t data_offset = kFileHeaderSize + header.size();
    const size_t total = data_offset + spec.pixel_data.size() + spec.trailing.size();

    std::vector<uint8_t> out;
    out.reserve(total);
    append_u16(out, spec.signature);
    append_u32(out, spec.file_size_field.value_or(static_cast<uint32_t>(total)));
    append_u16(out, 0);
    append_u16(out, 0);
    append_u32(out, spec.off_bits.value_or(static_cast<uint32_t>(data_offset)));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), spec.pixel_data.begin(), spec.pixel_data.end());
    out.insert(out.end(), spec.trailing.begin(), spec.trailing.end());
    return out;
}

size_t row_stride(uint32_t width, uint16_t bit_count) {
    return (static_cast<size_t>(width) * bit_count + 31) / 32 * 4;
}

std::vector<uint8_t> pack_rows(const std::vector<uint32_t>& top_down_values, uint32_t width,
                               uint32_t height, uint16_t bit_count, bool top_down) {
    const size_t stride = row_stride(width, bit_count);
    std::vector<uint8_t> out(stride * height, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = out.data() + (top_down ? y : height - 1 - y) * stride;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t value = top_down_values.at(static_cast<size_t>(y) * width + x);
            switch (bit_count) {
            case 1:
            case 2:
            case 4:
            case 8:
                put_bits(row, static_cast<size_t>(x) * bit_count, bit_count, value);
                break;
            case 16:
                row[x * 2] = static_cast<uint8_t>(value);
                row[x * 2 + 1] = static_cast<uint8_t>(value >> 8);
                break;
            case 24:
                row[x * 3] = static_cast<uint8_t>(value);
                row[x * 3 + 1] = static_cast<uint8_t>(value >> 8);
                row[x * 3 + 2] = static_cast<uint8_t>(value >> 16);
                break;
            case 32:
                for (int b = 0; b < 4; ++b) row[x * 4 + b] = static_cast<uint8_t>(value >> (8 * b));
                break;
            default:
                return {};
            }
        }
    }
    return out;
}

std::vector<uint8_t> encode_rle8(const std::vector<uint8_t>& top_down_indices, uint32_t width,
                                 uint32_t height) {
    return encode_rle(top_down_indices, width, height, false);
}

std::vector<uint8_t> encode_rle4(const std::vector<uint8_t>& top_down_indices, uint32_t width,
                                 uint32_t height) {
    return encode_rle(top_down_indices, width, height, true);
}

void put_u16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    if (bytes.size() < offset + 2) bytes.resize(offset + 2, 0);
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void put_u32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    if (bytes.size() < offset + 4) bytes.resize(offset + 4, 0);
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace bmp_writer
