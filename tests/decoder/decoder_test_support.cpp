#include "decoder_test_support.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace decoder_test {

namespace {

const std::filesystem::path& fixture_folder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("decoder_tests_" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

}  // namespace

std::string write_fixture(const std::vector<uint8_t>& bytes, const std::string& name) {
    const std::string path = (fixture_folder() / name).string();
    if (!bmp_writer::write_file(path, bytes)) ADD_FAILURE() << "cannot write fixture " << path;
    return path;
}

void decode_bytes(const std::vector<uint8_t>& bytes) { decode_bitmap(write_fixture(bytes).c_str()); }

void decode_spec(const bmp_writer::BmpSpec& spec) { decode_bytes(bmp_writer::build_bmp(spec)); }

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

::testing::AssertionResult picture_is(const std::vector<ArgbPixel>& want) {
    const DecoderState& state = decoder_state;
    if (state.loaded == 0) {
        return ::testing::AssertionFailure() << "have a refused file (" << state.refusal
                                             << "), want a decoded picture";
    }
    const uint64_t have_count = uint64_t{state.width} * state.height;
    if (have_count != want.size()) {
        return ::testing::AssertionFailure() << "have " << state.width << " x " << state.height
                                             << " pixels, want " << want.size();
    }
    const ArgbPixel* pixels = decoded_pixels();
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    int reported = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        if (pixels[i] == want[i]) continue;
        if (reported == 0) result = ::testing::AssertionFailure();
        if (++reported > 8) break;
        result << "\n  at (" << i % state.width << ", " << i / state.width << ") have "
               << hex(pixels[i]) << ", want " << hex(want[i]);
    }
    return result;
}

::testing::AssertionResult refused_with(const std::string& reason) {
    const DecoderState& state = decoder_state;
    if (state.loaded != 0) {
        return ::testing::AssertionFailure() << "have a decoded file, want a refusal containing \""
                                             << reason << "\"";
    }
    if (state.argb_pixels != nullptr || state.pixel_bytes != nullptr) {
        return ::testing::AssertionFailure() << "have buffers still allocated after a refusal, want none";
    }
    const std::string have = state.refusal;
    if (have.find(reason) == std::string::npos) {
        return ::testing::AssertionFailure() << "have refusal \"" << have << "\", want one containing \""
                                             << reason << "\"";
    }
    return ::testing::AssertionSuccess();
}

std::vector<uint32_t> grey_palette() {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < 16; ++i) palette.push_back(i * 0x111111u);
    return palette;
}

}  // namespace decoder_test
