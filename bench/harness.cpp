#include "bench/harness.h"

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace bench {

double seconds_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void keep_freed_memory() {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 64 << 20);
}

void return_freed_memory() { malloc_trim(0); }

namespace {

double time_one_call(const Contender& contender, bool* ok) {
    const double start = seconds_now();
    *ok = contender.run();
    const double elapsed = seconds_now() - start;
    if (contender.after) contender.after();
    return elapsed;
}

}  // namespace

std::vector<Timing> run_interleaved(const std::vector<Contender>& contenders,
                                    const RunOptions& options) {
    const size_t count = contenders.size();
    std::vector<Timing> timings(count);
    for (size_t i = 0; i < count; ++i) {
        bool ok = false;
        time_one_call(contenders[i], &ok);
        if (!ok) timings[i].failed = true;
    }
    if (options.cold) {
        for (size_t i = 0; i < count; ++i) {
            if (timings[i].failed) continue;
            return_freed_memory();
            bool ok = false;
            timings[i].cold_seconds = time_one_call(contenders[i], &ok);
            if (!ok) timings[i].failed = true;
        }
    }
    for (int round = 0; round < options.rounds; ++round) {
        for (size_t k = 0; k < count; ++k) {
            const size_t i = (k + static_cast<size_t>(round)) % count;
            if (timings[i].failed) continue;
            double total = 0;
            for (int call = 0; call < options.calls_per_round; ++call) {
                bool ok = false;
                total += time_one_call(contenders[i], &ok);
                if (!ok) timings[i].failed = true;
            }
            timings[i].seconds.push_back(total / options.calls_per_round);
        }
    }
    return timings;
}

double median_of(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

double min_of(const std::vector<double>& values) {
    if (values.empty()) return -1;
    return *std::min_element(values.begin(), values.end());
}

ResultRow row_from_timing(const std::string& section, const std::string& case_name,
                          const std::string& contender, const Timing& timing,
                          double megapixels) {
    ResultRow row;
    row.section = section;
    row.case_name = case_name;
    row.contender = contender;
    if (timing.failed || timing.seconds.empty()) {
        row.note = "failed";
        return row;
    }
    const double median = median_of(timing.seconds);
    row.median_ms = median * 1e3;
    row.min_ms = min_of(timing.seconds) * 1e3;
    if (megapixels > 0 && median > 0) row.megapixels_per_s = megapixels / median;
    if (timing.cold_seconds >= 0) row.cold_ms = timing.cold_seconds * 1e3;
    return row;
}

std::string format_ratio(double ratio) {
    if (!(ratio >= 0)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", ratio);
    return text;
}

namespace {

std::string format_figure(double value, const char* format) {
    if (!(value >= 0)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void print_rows(std::FILE* out, const std::vector<ResultRow>& rows) {
    std::string last_case;
    std::fprintf(out, "%-10s %-26s %-18s %9s %9s %9s %7s %7s %9s  %s\n", "section", "case",
                 "contender", "median_ms", "min_ms", "Mpix/s", "x_peer", "x_limit", "cold_ms",
                 "note");
    for (const ResultRow& row : rows) {
        if (!last_case.empty() && row.case_name != last_case) std::fprintf(out, "\n");
        last_case = row.case_name;
        std::fprintf(out, "%-10s %-26s %-18s %9s %9s %9s %7s %7s %9s  %s\n", row.section.c_str(),
                     row.case_name.c_str(), row.contender.c_str(),
                     format_figure(row.median_ms, "%.3f").c_str(),
                     format_figure(row.min_ms, "%.3f").c_str(),
                     format_figure(row.megapixels_per_s, "%.1f").c_str(),
                     format_ratio(row.ratio_best_peer).c_str(),
                     format_ratio(row.ratio_limit).c_str(),
                     format_figure(row.cold_ms, "%.2f").c_str(), row.note.c_str());
    }
    std::fflush(out);
}

bool append_csv(const std::string& path, const std::vector<ResultRow>& rows) {
    struct stat info {};
    const bool fresh = stat(path.c_str(), &info) != 0 || info.st_size == 0;
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return false;
    if (fresh) {
        std::fprintf(file,
                     "section,case,contender,median_ms,min_ms,mpix_per_s,ratio_best_peer,"
                     "ratio_limit,cold_ms,note\n");
    }
    auto number = [](double value) {
        if (!(value >= 0)) return std::string();
        char text[32];
        std::snprintf(text, sizeof text, "%.4f", value);
        return std::string(text);
    };
    auto text = [](std::string value) {
        std::replace(value.begin(), value.end(), '"', '\'');
        return "\"" + value + "\"";
    };
    for (const ResultRow& row : rows) {
        std::fprintf(file, "%s,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", text(row.section).c_str(),
                     text(row.case_name).c_str(), text(row.contender).c_str(),
                     number(row.median_ms).c_str(),
                     number(row.min_ms).c_str(), number(row.megapixels_per_s).c_str(),
                     number(row.ratio_best_peer).c_str(), number(row.ratio_limit).c_str(),
                     number(row.cold_ms).c_str(), text(row.note).c_str());
    }
    return std::fclose(file) == 0;
}

bool parse_common_options(int argc, char** argv, CommonOptions* options) {
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (std::strcmp(argv[i], "--rounds") == 0 && has_value) {
            options->rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--csv") == 0 && has_value) {
            options->csv_path = argv[++i];
        } else if (std::strcmp(argv[i], "--inputs") == 0 && has_value) {
            options->inputs_dir = argv[++i];
        } else if (std::strcmp(argv[i], "--samples") == 0 && has_value) {
            options->samples_dir = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--rounds N] [--csv PATH] [--inputs DIR] [--samples DIR]\n",
                         argv[0]);
            return false;
        }
    }
    return true;
}

}  // namespace bench
