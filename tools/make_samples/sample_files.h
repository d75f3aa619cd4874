// The showcase's ten sample files: each picture of artwork.h stored in the
// BMP layout its file name promises.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

struct SampleFile {
    std::string name;  // the bare name the showcase opens
    std::vector<uint8_t> bytes;
};

// All ten files, in the order the showcase decodes them.
std::vector<SampleFile> make_sample_files();

// Writes every file into `directory`, creating it if needed. False when the
// directory cannot be made or any file cannot be written.
bool write_sample_files(const std::string& directory);

}  // namespace samples
