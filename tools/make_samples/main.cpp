// make_samples OUTDIR: writes the showcase's ten sample images into OUTDIR.
#include <cstdio>
#include <string>

#include "tools/make_samples/sample_files.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTDIR\n");
        return 2;
    }
    const std::string directory = argv[1];
    if (!samples::write_sample_files(directory)) {
        std::fprintf(stderr, "make_samples: cannot write the sample images into %s\n", directory.c_str());
        return 1;
    }
    return 0;
}
