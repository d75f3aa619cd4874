// A small timing harness whose rounds interleave the contenders: on a shared,
// noisy machine a slow minute then hurts every contender alike, so the
// ratios taken within one run hold even when the absolute figures swing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// A fixed integer hash: deterministic noise for the inputs and test pictures.
inline uint32_t mix_bits(uint32_t value) {
    value ^= value >> 16;
    value *= 0x7FEB352Du;
    value ^= value >> 15;
    value *= 0x846CA68Bu;
    value ^= value >> 16;
    return value;
}


double seconds_now();

// Makes glibc keep freed memory for the next allocation: no fresh mmap per
// large block and no trimming of the heap top. Without it every 33 MB output
// buffer costs tens of milliseconds of page faults, more than most decodes.
void keep_freed_memory();
// Gives the free heap back to the system, so that the next allocation meets
// fresh pages: the cold, first-touch case.
void return_freed_memory();

struct Contender {
    std::string name;
    std::function<bool()> run;    // one timed call; false when it failed
    std::function<void()> after;  // untimed: frees what run made
};

struct Timing {
    std::vector<double> seconds;  // one per round: the mean call of that round
    double cold_seconds = -1;     // one call after return_freed_memory; -1 if not taken
    bool failed = false;
};

struct RunOptions {
    int rounds = 7;
    int calls_per_round = 1;
    bool cold = false;  // time one first-touch call before the rounds
};

// Each contender runs once untimed (to load its modules and fill caches),
// then, if asked, once cold; then `rounds` rounds follow, each timing every
// contender for calls_per_round calls, the order rotated from round to round.
// A contender whose call fails is marked failed and not run again.
std::vector<Timing> run_interleaved(const std::vector<Contender>& contenders,
                                    const RunOptions& options);

double median_of(std::vector<double> values);
double min_of(const std::vector<double>& values);

// One line of the printed table and of the CSV. Negative figures and NaN
// ratios mean "not measured".
struct ResultRow {
    std::string section;
    std::string case_name;
    std::string contender;
    double median_ms = -1;
    double min_ms = -1;
    double megapixels_per_s = -1;
    double ratio_best_peer = -1;
    double ratio_limit = -1;
    double cold_ms = -1;
    std::string note;
};

ResultRow row_from_timing(const std::string& section, const std::string& case_name,
                          const std::string& contender, const Timing& timing,
                          double megapixels);

void print_rows(std::FILE* out, const std::vector<ResultRow>& rows);
// Appends to path, writing the header line when the file is new or empty.
bool append_csv(const std::string& path, const std::vector<ResultRow>& rows);

// Command-line options shared by the bench programs.
struct CommonOptions {
    int rounds = 7;
    std::string csv_path;
    std::string inputs_dir;
    std::string samples_dir;
};
// Reads --rounds N, --csv PATH, --inputs DIR, --samples DIR; false (after a
// usage line on stderr) for anything else.
bool parse_common_options(int argc, char** argv, CommonOptions* options);

std::string format_ratio(double ratio);

}  // namespace bench
