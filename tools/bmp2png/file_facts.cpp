#include "tools/bmp2png/file_facts.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kHeadersSize = 54;      // file header 14 + info header 40
constexpr size_t kCoreHeadersSize = 26;  // file header 14 + core header 12
constexpr size_t kMasksOffset = 54;
constexpr size_t kMasksEnd = 70;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kAlphaMaskHeaderSize = 56;
constexpr uint32_t kBiBitfields = 3;

uint32_t u32_at(const uint8_t* bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

uint16_t u16_at(const uint8_t* bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

}  // namespace

std::optional<FileFacts> read_file_facts(const std::string& path) {
    uint8_t bytes[kMasksEnd] = {};
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    file.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const size_t length = static_cast<size_t>(file.gcount());

    FileFacts facts{};
    const uint32_t info_size = length >= kCoreHeadersSize ? u32_at(bytes, 14) : 0;
    if (info_size == kCoreHeaderSize) {
        facts.core_header = true;
        facts.biWidth = u16_at(bytes, 18);
        facts.biHeight = u16_at(bytes, 20);
        facts.biBitCount = u16_at(bytes, 24);
        return facts;
    }
    if (length < kHeadersSize) return std::nullopt;
    facts.biWidth = static_cast<int32_t>(u32_at(bytes, 18));
    facts.biHeight = static_cast<int32_t>(u32_at(bytes, 22));
    facts.biBitCount = u16_at(bytes, 28);
    facts.biCompression = u32_at(bytes, 30);
    facts.has_masks = (facts.biBitCount == 16 || facts.biBitCount == 32) && facts.biCompression == kBiBitfields;
    if (facts.has_masks) {
        // Bytes past the end of a short file read as 0, as they do for the reader.
        for (size_t i = 0; i < 4; ++i) facts.masks[i] = u32_at(bytes, kMasksOffset + 4 * i);
        // Only a header of 56 bytes or more holds an alpha mask; after a
        // shorter one the fourth word is already pixel data.
        if (info_size < kAlphaMaskHeaderSize) facts.masks[3] = 0;
    }
    return facts;
}

std::string compression_label(uint32_t compression) {
    static const char* const names[] = {"BI_RGB", "BI_RLE8", "BI_RLE4", "BI_BITFIELDS",
                                        "BI_JPEG", "BI_PNG", "BI_ALPHABITFIELDS"};
    const char* name = compression < std::size(names) ? names[compression] : "unknown";
    return std::to_string(compression) + " (" + name + ")";
}

std::string describe_file_facts(const FileFacts& facts, const char* layout_name, uint32_t palette_entries) {
    // biHeight is widened first: INT32_MIN has no 32-bit negation.
    const int64_t rows = facts.biHeight < 0 ? -static_cast<int64_t>(facts.biHeight) : facts.biHeight;
    std::string text = layout_name;
    text += ", " + std::to_string(facts.biWidth) + " x " + std::to_string(rows);
    text += facts.biHeight < 0 ? ", top-down" : ", bottom-up";
    text += ", " + std::to_string(facts.biBitCount) + " bpp";
    text += facts.core_header ? ", OS/2 core header" : ", compression " + compression_label(facts.biCompression);
    text += palette_entries > 0 ? ", palette " + std::to_string(palette_entries) : ", no palette";
    if (facts.has_masks) {
        char masks[96];
        std::snprintf(masks, sizeof masks, ", masks R %08X G %08X B %08X A %08X", facts.masks[0], facts.masks[1],
                      facts.masks[2], facts.masks[3]);
        text += masks;
    } else {
        text += ", no masks";
    }
    return text;
}
