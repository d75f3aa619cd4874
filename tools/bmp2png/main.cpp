// bmp2png: the decoder's command-line face.
//
//   bmp2png INPUT.bmp OUTPUT.png
//   bmp2png --out-dir DIR A.bmp B.bmp ...
//   bmp2png --info FILE...
//
// Files are decoded one after another through the decoder's single state,
// as the showcase decodes them, so a fault that lets one file's result
// depend on the file before it shows up here too.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "decoder/bitmap_decoder.h"
#include "tools/bmp2png/file_facts.h"
#include "tools/bmp2png/png_output.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: bmp2png INPUT.bmp OUTPUT.png\n"
    "       bmp2png --out-dir DIR FILE.bmp...\n"
    "       bmp2png --info FILE.bmp...\n";

int usage_error(const std::string& problem) {
    std::fprintf(stderr, "bmp2png: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

// The decoder only learns that a file failed to open; a missing file, a
// directory, a device and a file without read permission all look alike to
// it. Say which, since that is what the user needs to know.
std::string refusal_reason(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return "no such file";
    if (error) return "cannot open: " + error.message();
    if (status.type() == std::filesystem::file_type::directory) return "is a directory, not a file";
    if (status.type() != std::filesystem::file_type::regular) return "not a regular file";
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
    } else {
        return std::string("cannot open: ") + std::strerror(errno);
    }
    const size_t length = strnlen(decoder_state.refusal, kRefusalLength);
    if (length == 0) return "not decoded (the decoder gave no reason)";
    return std::string(decoder_state.refusal, length);
}

// Decodes one file; on refusal prints the one line and returns false.
bool decode_or_report(const std::string& input) {
    decode_bitmap(input.c_str());
    if (decoder_state.loaded != FLAG_CLEAR && decoded_pixels() != nullptr) return true;
    std::fprintf(stderr, "%s: refused: %s\n", input.c_str(), refusal_reason(input).c_str());
    return false;
}

bool convert(const std::string& input, const std::string& output) {
    if (!decode_or_report(input)) return false;
    std::string error;
    if (!write_png_file(output, decoded_pixels(), decoder_state.width, decoder_state.height, error)) {
        std::fprintf(stderr, "%s: cannot write PNG: %s\n", output.c_str(), error.c_str());
        return false;
    }
    return true;
}

int run_single(const std::string& input, const std::string& output) {
    return convert(input, output) ? kExitOk : kExitFailed;
}

int run_out_dir(const std::string& directory, const std::vector<std::string>& inputs) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (!std::filesystem::is_directory(directory)) {
        std::fprintf(stderr, "%s: cannot use as output folder: %s\n", directory.c_str(),
                     error ? error.message().c_str() : "not a directory");
        return kExitFailed;
    }
    bool all_converted = true;
    for (const std::string& input : inputs) {
        const std::filesystem::path name = std::filesystem::path(input).filename().replace_extension(".png");
        const std::string output = (std::filesystem::path(directory) / name).string();
        if (!convert(input, output)) all_converted = false;
    }
    return all_converted ? kExitOk : kExitFailed;
}

int run_info(const std::vector<std::string>& inputs) {
    bool all_decoded = true;
    for (const std::string& input : inputs) {
        decode_bitmap(input.c_str());
        const bool decoded = decoder_state.loaded != FLAG_CLEAR && decoded_pixels() != nullptr;
        std::string line = input + ": ";
        if (const auto facts = read_file_facts(input)) {
            line += describe_file_facts(*facts, format_code_name(decoder_state.format), decoder_state.palette_count);
            line += ", ";
        }
        line += decoded ? "decoded" : "refused: " + refusal_reason(input);
        std::printf("%s\n", line.c_str());
        if (!decoded) all_decoded = false;
    }
    return all_decoded ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }

    std::string mode;
    std::string out_dir;
    std::vector<std::string> files;
    bool options_done = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--info" && mode.empty()) {
            mode = arg;
        } else if (arg == "--out-dir" && mode.empty()) {
            if (i + 1 >= args.size()) return usage_error("--out-dir needs a folder");
            mode = arg;
            out_dir = args[++i];
        } else {
            return usage_error("unexpected option " + arg);
        }
    }

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int status = kExitUsage;
    if (mode == "--info") {
        if (files.empty()) return usage_error("--info needs at least one file");
        status = run_info(files);
    } else if (mode == "--out-dir") {
        if (files.empty()) return usage_error("--out-dir needs at least one file");
        status = run_out_dir(out_dir, files);
    } else {
        if (files.size() != 2) return usage_error("expected an input and an output file");
        status = run_single(files[0], files[1]);
    }
    release_decoded_pixels();
    return status;
}
