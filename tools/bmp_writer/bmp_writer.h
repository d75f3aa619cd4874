// Builds Windows BMP files in memory, byte for byte as asked.
//
// This writer exists for fixtures: tests, sample images, fuzz seeds and
// benchmarks. It checks nothing. Every header field can be given any value,
// wrong ones included, so a test can make each refusal case by changing one
// field of an otherwise good file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bmp_writer {

inline constexpr uint16_t kSignatureBM = 0x4D42;  // "BM" read little-endian
inline constexpr size_t kFileHeaderSize = 14;
inline constexpr uint32_t kCoreHeaderSize = 12;   // OS/2 1.x BITMAPCOREHEADER
inline constexpr uint32_t kInfoHeaderSize = 40;   // BITMAPINFOHEADER

// Byte offsets of the fields in a built file (file header, then info header).
inline constexpr size_t kOffsetType = 0;
inline constexpr size_t kOffsetFileSize = 2;
inline constexpr size_t kOffsetOffBits = 10;
inline constexpr size_t kOffsetInfoSize = 14;
inline constexpr size_t kOffsetWidth = 18;
inline constexpr size_t kOffsetHeight = 22;
inline constexpr size_t kOffsetPlanes = 26;
inline constexpr size_t kOffsetBitCount = 28;
inline constexpr size_t kOffsetCompression = 30;
inline constexpr size_t kOffsetSizeImage = 34;
inline constexpr size_t kOffsetClrUsed = 46;
inline constexpr size_t kOffsetClrImportant = 50;
inline constexpr size_t kOffsetHeaderMasks = 54;  // red, green, blue, alpha in V2+ headers

struct BmpSpec {
    int32_t width = 0;
    int32_t height = 0;  // as stored in biHeight: negative means top-down rows
    uint16_t bit_count = 24;
    uint32_t compression = 0;
    // 12 writes the OS/2 core header (16-bit sizes, 3-byte palette entries).
    // 40 writes BITMAPINFOHEADER; larger sizes append zero bytes, with the
    // masks inside the header from offset 54 when the size has room.
    // Any other value writes that many bytes of the 40-byte record.
    uint32_t info_size = kInfoHeaderSize;
    uint16_t planes = 1;
    int32_t x_pels_per_meter = 2835;
    int32_t y_pels_per_meter = 2835;
    // 0 to 4 words: red, green, blue, alpha. Those the header has no room
    // for (all of them with a 40-byte header) follow the header.
    std::vector<uint32_t> masks;
    // 0xXXRRGGBB; written as B, G, R, X (X is the reserved byte).
    std::vector<uint32_t> palette;
    // Bytes between the palette and the pixel data.
    std::vector<uint8_t> gap;
    // Exactly as stored: padded bottom-up rows, or a run-length stream.
    std::vector<uint8_t> pixel_data;
    // Bytes after the pixel data.
    std::vector<uint8_t> trailing;

    // Fields left empty get their natural value: biSizeImage the pixel data
    // size, bfOffBits where the pixel data starts, biClrUsed the palette
    // length, biClrImportant 0, bfSize the file length.
    std::optional<uint32_t> size_image;
    std::optional<uint32_t> off_bits;
    std::optional<uint32_t> clr_used;
    std::optional<uint32_t> clr_important;
    std::optional<uint32_t> file_size_field;
    uint16_t signature = kSignatureBM;
};

std::vector<uint8_t> build_bmp(const BmpSpec& spec);

// Bytes in one stored row: rows pad to a multiple of four bytes.
size_t row_stride(uint32_t width, uint16_t bit_count);

// Packs top-down pixel values (row after row, width x height of them) into
// stored rows, bottom row first unless `top_down`. The value's meaning
// depends on the bit count: a palette index for 1, 4 and 8 bits (high bits
// first in a byte), the raw 16-bit word for 16, 0xRRGGBB for 24 (written
// B, G, R) and the raw little-endian word for 32 (0xAARRGGBB gives B, G, R, A).
std::vector<uint8_t> pack_rows(const std::vector<uint32_t>& top_down_values, uint32_t width,
                               uint32_t height, uint16_t bit_count, bool top_down = false);

// Run-length encoders over top-down palette indices. The stream stores the
// bottom row first; each row ends with an end-of-line escape except the last,
// which ends with end-of-bitmap. Repeats of three or more become encoded runs,
// other stretches of three or more become absolute runs padded to 16 bits,
// shorter stretches become runs of one or two.
std::vector<uint8_t> encode_rle8(const std::vector<uint8_t>& top_down_indices, uint32_t width,
                                 uint32_t height);
std::vector<uint8_t> encode_rle4(const std::vector<uint8_t>& top_down_indices, uint32_t width,
                                 uint32_t height);

// Overwrite a little-endian field of a built file, for cases BmpSpec cannot express.
void put_u16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void put_u32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);

// Writes the bytes to a file, replacing it; false when any step fails.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace bmp_writer
