// Helpers shared by the decoder tests: fixture files on disk, decoding built
// bytes, and picture comparisons that report "have ..., want ..." per pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/bitmap_decoder.h"
#include "tools/bmp_writer/bmp_writer.h"

namespace decoder_test {

// Writes bytes to `name` in a folder of this process's own and returns the path.
std::string write_fixture(const std::vector<uint8_t>& bytes, const std::string& name = "fixture.bmp");

// Writes the bytes to a fixture file and runs decode_bitmap on it.
void decode_bytes(const std::vector<uint8_t>& bytes);
void decode_spec(const bmp_writer::BmpSpec& spec);

std::string hex(uint32_t value);

// The decoded picture equals `want`, given top-down row after row.
::testing::AssertionResult picture_is(const std::vector<ArgbPixel>& want);

// The last read was refused and its reason contains `reason`; nothing stays allocated.
::testing::AssertionResult refused_with(const std::string& reason);

// Sixteen grey palette entries, entry i = i x 0x111111, and their ARGB values.
std::vector<uint32_t> grey_palette();
constexpr ArgbPixel grey(uint32_t index) { return 0xFF000000u + index * 0x111111u; }

}  // namespace decoder_test
