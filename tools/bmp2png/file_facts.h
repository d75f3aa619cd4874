// What a BMP file's headers say, read straight from its bytes for --info.
//
// The decoder's record keeps the headers of the last file it got far enough
// to read, so for a file refused at its first bytes they belong to the file
// before. The header facts shown therefore come from the file itself; the
// layout, the palette entries taken and the verdict come from the decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct FileFacts {
    bool core_header;  // OS/2 1.x: 12-byte header, 16-bit sizes, no compression field
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biBitCount;
    uint32_t biCompression;
    bool has_masks;     // 16 or 32 bits with BI_BITFIELDS
    uint32_t masks[4];  // red, green, blue, alpha; alpha 0 unless the header holds it
};

// The facts of the file at path; empty when it is shorter than the two headers.
std::optional<FileFacts> read_file_facts(const std::string& path);

// "0 (BI_RGB)", "7 (unknown)".
std::string compression_label(uint32_t compression);

// The part of an --info line before the verdict: layout name, size, row
// order, bits, compression, palette entries taken and masks.
std::string describe_file_facts(const FileFacts& facts, const char* layout_name, uint32_t palette_entries);
