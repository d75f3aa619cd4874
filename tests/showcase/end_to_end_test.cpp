// The showcase as a person sees it: run in a virtual X server from a copy of
// the sample folder, judged only by what the server shows on its root window
// and by how the process ends.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <thread>
#include <utility>

#include "tests/showcase/expected_scene.h"
#include "tests/showcase/x_session.h"
#include "tools/xshot/x_root_capture.h"

namespace fs = std::filesystem;

// Names a parameter row in test listings by its desktop size.
void PrintTo(const DesktopLayout& layout, std::ostream* out) { *out << layout.name; }

namespace {

constexpr int kSpriteIndex = 9;

// Worked by hand: columns (W x i) / 6 - W / 7 to the nearest integer, the
// picture at ((column 3 + column 4) / 2, H x 0.55), the pinned images at
// W x 0.1 and W x 0.6 (rounded halves away from zero) and H / 2.
const DesktopLayout kFullHd{"1920x1080", 1920, 1080, {46, 366, 686, 1006, 1326, 1646}, 846, 594, 192, 1152, 540};
const DesktopLayout kLaptop{"1366x768", 1366, 768, {33, 260, 488, 716, 943, 1171}, 602, 422, 137, 820, 384};
// Wider and higher than the board: black beyond it, and the capture must
// still hold the whole screen.
const DesktopLayout kQuadHd{"2560x1440", 2560, 1440, {61, 488, 914, 1341, 1768, 2194}, 1127, 792, 256, 1536, 720};

constexpr double kSceneTimeout = 30.0;  // seconds until the first complete frame
constexpr double kEndLimit = 0.5;       // a key or close request ends the program within this

std::string read_text(const fs::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One run of the showcase: its own X server, its own copy of the samples.
// Everything is stopped and removed when the run goes out of scope.
class ShowcaseRun {
public:
    ~ShowcaseRun() {
        stop_process(showcase_pid_);
        stop_process(screen_.pid);
        if (!base_.empty()) {
            std::error_code ignored;
            fs::remove_all(base_, ignored);
        }
    }

    // Copies the samples, lets tweak change the copy, then (unless without_x)
    // starts an X server of the layout's size and the showcase in the copy.
    bool start(const DesktopLayout* layout, const std::function<void(const fs::path&)>& tweak,
               std::string& error) {
        std::string base;
        std::string samples;
        if (!copy_samples_to_temp("showcase-e2e", SHOWCASE_SAMPLES_DIR, base, samples, error)) return false;
        base_ = base;
        samples_ = samples;
        if (tweak) tweak(samples_);

        // A desktop session always has a private runtime folder; without one,
        // libwayland (probed by SDL) complains on stderr before giving up.
        const fs::path runtime = base_ / "runtime";
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        std::vector<EnvironmentChange> changes = {{"WAYLAND_DISPLAY", std::nullopt},
                                                  {"SDL_VIDEODRIVER", std::nullopt},
                                                  {"XDG_RUNTIME_DIR", runtime.string()}};
        if (layout != nullptr) {
            if (!start_virtual_screen(layout->width, layout->height, screen_, error)) return false;
            changes.emplace_back("DISPLAY", screen_.display);
        } else {
            changes.emplace_back("DISPLAY", std::nullopt);
        }
        started_at_ = now_seconds();
        showcase_pid_ = start_process({SHOWCASE_PROGRAM}, samples_.string(), changes,
                                      (base_ / "showcase.out").string(), (base_ / "showcase.err").string());
        if (showcase_pid_ < 0) {
            error = "cannot start " SHOWCASE_PROGRAM;
            return false;
        }
        return true;
    }

    // The samples as the showcase finds them, decoded in the test.
    SampleSet decode_samples() const {
        SampleSet samples;
        for (int i = 0; i < 10; ++i) {
            if (fs::exists(samples_ / kSampleFiles[i])) samples[i] = decode_sample((samples_ / kSampleFiles[i]).string());
        }
        return samples;
    }

    bool capture(RootCapture& shot, std::string& error) const {
        return capture_root_window(screen_.display, shot, error);
    }

    // Waits for the program's end; the exit status, or nothing on timeout.
    std::optional<int> wait_end(double timeout_seconds) {
        int status = 0;
        if (!wait_for_exit(showcase_pid_, timeout_seconds, status)) return std::nullopt;
        showcase_pid_ = -1;
        return status;
    }

    std::string printed() const { return read_text(base_ / "showcase.out") + read_text(base_ / "showcase.err"); }
    pid_t pid() const { return showcase_pid_; }
    const std::string& display() const { return screen_.display; }
    double started_at() const { return started_at_; }

private:
    fs::path base_;
    fs::path samples_;
    VirtualScreen screen_;
    pid_t showcase_pid_ = -1;
    double started_at_ = 0.0;
};

// Captures until one frame matches the expected scene (or the timeout); the
// display thread may show a frame half drawn, so a single mismatch proves
// nothing, but a run of them until the timeout does.
FrameMatch wait_for_matching_frame(const ShowcaseRun& run, const DesktopLayout& layout,
                                   const SampleSet& samples, const Picture& static_scene,
                                   const Picture& frame_without_sprite, double timeout_seconds,
                                   bool need_sprite, RootCapture* matching_shot = nullptr) {
    FrameMatch last;
    last.report = "no capture was taken";
    const double deadline = now_seconds() + timeout_seconds;
    while (now_seconds() < deadline) {
        RootCapture shot;
        std::string error;
        if (!run.capture(shot, error)) {
            last.report = error;
        } else {
            FrameMatch match = match_frame(shot, layout, samples, static_scene, frame_without_sprite);
            if (match.matches && (!need_sprite || match.sprite_corner)) {
                if (matching_shot != nullptr) *matching_shot = std::move(shot);
                return match;
            }
            last = match;
            if (match.matches) last.report = "the frame matched but the sprite did not show";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    last.matches = false;
    return last;
}

bool prerequisites_met(std::string& why) {
    if (!program_in_path("Xvfb")) {
        why = "Xvfb is not installed";
        return false;
    }
    return true;
}

#define REQUIRE_X_SERVER()                                 \
    do {                                                   \
        std::string why_skipped;                           \
        if (!prerequisites_met(why_skipped)) GTEST_SKIP() << why_skipped; \
    } while (false)

// Holds everything one scene test needs: the run and the expected pictures.
struct SceneUnderTest {
    ShowcaseRun run;
    SampleSet samples;
    Picture static_scene;
    Picture frame_without_sprite;
};

void start_scene(SceneUnderTest& scene, const DesktopLayout& layout,
                 const std::function<void(const fs::path&)>& tweak = {}) {
    std::string error;
    ASSERT_TRUE(scene.run.start(&layout, tweak, error)) << error;
    scene.samples = scene.run.decode_samples();
    scene.static_scene = compose_static_scene(layout, scene.samples);
    scene.frame_without_sprite = compose_frame(layout, scene.samples, scene.static_scene, std::nullopt);
}

class EndToEndScene : public testing::TestWithParam<DesktopLayout> {};

TEST_P(EndToEndScene, ShowsBoardRowPicturePinnedImagesAndSprite) {
    REQUIRE_X_SERVER();
    const DesktopLayout& layout = GetParam();
    SceneUnderTest scene;
    ASSERT_NO_FATAL_FAILURE(start_scene(scene, layout));
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(scene.samples[i].has_value()) << kSampleFiles[i] << " does not decode";
    }
    // Every pixel of the screen is checked: the board by its cell rule where
    // nothing is drawn (and black beyond it), each row image and the pinned
    // images blended over what lies beneath, the picture copied at its origin,
    // and the sprite at whatever place it has reached.
    const FrameMatch match = wait_for_matching_frame(scene.run, layout, scene.samples, scene.static_scene,
                                                     scene.frame_without_sprite, kSceneTimeout, true);
    EXPECT_TRUE(match.matches) << match.report;
    EXPECT_EQ(scene.run.printed(), "") << "the program printed something";
}

INSTANTIATE_TEST_SUITE_P(Desktops, EndToEndScene, testing::Values(kFullHd, kLaptop, kQuadHd),
                         [](const testing::TestParamInfo<DesktopLayout>& info) {
                             return std::string("D") + std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

// Counts the pixels in which two captures differ outside the given sprite
// boxes; empty when there are none.
std::string differences_outside(const RootCapture& first, const RootCapture& second,
                                const std::vector<std::pair<SpriteCorner, Picture const*>>& allowed) {
    size_t outside = 0;
    std::string first_outside;
    for (int64_t y = 0; y < first.height; ++y) {
        for (int64_t x = 0; x < first.width; ++x) {
            const size_t index = static_cast<size_t>(y * first.width + x);
            if (((first.pixels[index] ^ second.pixels[index]) & 0xFFFFFF) == 0) continue;
            bool inside_a_box = false;
            for (const auto& [corner, sprite] : allowed) {
                inside_a_box |= x >= corner.left && y >= corner.top && x < corner.left + sprite->width &&
                                y < corner.top + sprite->height;
            }
            if (inside_a_box) continue;
            if (outside++ == 0) first_outside = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    }
    if (outside == 0) return "";
    return std::to_string(outside) + " pixels changed outside the sprite's two boxes, the first at " + first_outside;
}

TEST(EndToEndAnimation, MovesOnlyTheSpriteBetweenFrames) {
    REQUIRE_X_SERVER();
    const DesktopLayout& layout = kFullHd;
    // Both speeds come out 0 for about one run in a thousand; the sprite then
    // rightly stays in the middle, so such a run is retried, not failed.
    constexpr int kRuns = 3;
    for (int attempt = 1; attempt <= kRuns; ++attempt) {
        SCOPED_TRACE(testing::Message() << "run " << attempt);
        SceneUnderTest scene;
        ASSERT_NO_FATAL_FAILURE(start_scene(scene, layout));
        ASSERT_TRUE(scene.samples[kSpriteIndex].has_value()) << "the sprite sample does not decode";
        const Picture& sprite = *scene.samples[kSpriteIndex];

        // Two complete frames with the sprite showing, some frames (25 ms
        // each) apart.
        RootCapture first;
        RootCapture second;
        const FrameMatch first_match = wait_for_matching_frame(
            scene.run, layout, scene.samples, scene.static_scene, scene.frame_without_sprite, kSceneTimeout,
            true, &first);
        ASSERT_TRUE(first_match.matches) << first_match.report;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const FrameMatch second_match = wait_for_matching_frame(
            scene.run, layout, scene.samples, scene.static_scene, scene.frame_without_sprite, kSceneTimeout,
            true, &second);
        ASSERT_TRUE(second_match.matches) << second_match.report;

        const std::string outside = differences_outside(
            first, second, {{*first_match.sprite_corner, &sprite}, {*second_match.sprite_corner, &sprite}});
        EXPECT_EQ(outside, "");

        const SpriteCorner a = *first_match.sprite_corner;
        const SpriteCorner b = *second_match.sprite_corner;
        // The centre turns once it reaches a bound, so it never gets a whole
        // step (at most 15) beyond half the sprite from an edge.
        const int64_t half_width = sprite.width / 2;
        const int64_t half_height = sprite.height / 2;
        for (const SpriteCorner& corner : {a, b}) {
            const int64_t centre_x = corner.left + half_width;
            const int64_t centre_y = corner.top + half_height;
            EXPECT_TRUE(centre_x > half_width - 15 && centre_x < layout.width - half_width + 15 &&
                        centre_y > half_height - 15 && centre_y < layout.height - half_height + 15)
                << "sprite centre: have (" << centre_x << ", " << centre_y << "), want within 15 of ("
                << half_width << ".." << layout.width - half_width << ", " << half_height << ".."
                << layout.height - half_height << ")";
        }
        if (a.left != b.left || a.top != b.top) return;
        // Not moved: only right when both speeds are 0, and then the sprite
        // sits where it started, centred on (W / 2, H / 2).
        const SpriteCorner middle{layout.width / 2 - sprite.width / 2, layout.height / 2 - sprite.height / 2};
        ASSERT_TRUE(a.left == middle.left && a.top == middle.top)
            << "the sprite stood still at corner (" << a.left << ", " << a.top
            << ") over 300 ms; have it there, want it moving (or resting at (" << middle.left << ", "
            << middle.top << ") when both speeds are 0)";
    }
    FAIL() << "the sprite stayed in the middle in " << kRuns << " runs; have no movement, want movement";
}

// Waits until the program shows its animated scene, so that the ending is
// tested from the loop and not from start-up.
void wait_until_animating(SceneUnderTest& scene, const DesktopLayout& layout) {
    const FrameMatch match = wait_for_matching_frame(scene.run, layout, scene.samples, scene.static_scene,
                                                     scene.frame_without_sprite, kSceneTimeout, false);
    ASSERT_TRUE(match.matches) << match.report;
}

TEST(EndToEndEnding, KeyPressEndsWithStatusZeroWithinHalfASecond) {
    REQUIRE_X_SERVER();
    if (!program_in_path("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    SceneUnderTest scene;
    ASSERT_NO_FATAL_FAILURE(start_scene(scene, kLaptop));
    ASSERT_NO_FATAL_FAILURE(wait_until_animating(scene, kLaptop));

    const double pressed_at = now_seconds();
    const pid_t typist = start_process({"xdotool", "key", "space"}, "", {{"DISPLAY", scene.run.display()}},
                                       "/dev/null", "/dev/null");
    ASSERT_GT(typist, 0);
    const std::optional<int> status = scene.run.wait_end(kEndLimit);
    const double took = now_seconds() - pressed_at;
    int typist_status = 0;
    wait_for_exit(typist, 5.0, typist_status);
    ASSERT_TRUE(status.has_value()) << "have the program still running " << kEndLimit << " s after a key, want it ended";
    EXPECT_EQ(*status, 0) << "have exit status " << *status << ", want 0";
    EXPECT_LT(took, kEndLimit) << "have " << took << " s, want under " << kEndLimit << " s";
}

TEST(EndToEndEnding, CloseRequestEndsWithStatusZeroWithinHalfASecond) {
    REQUIRE_X_SERVER();
    SceneUnderTest scene;
    ASSERT_NO_FATAL_FAILURE(start_scene(scene, kFullHd));
    ASSERT_NO_FATAL_FAILURE(wait_until_animating(scene, kFullHd));

    const double requested_at = now_seconds();
    std::string error;
    ASSERT_TRUE(request_window_close(scene.run.display(), scene.run.pid(), error)) << error;
    const std::optional<int> status = scene.run.wait_end(kEndLimit);
    const double took = now_seconds() - requested_at;
    ASSERT_TRUE(status.has_value()) << "have the program still running " << kEndLimit
                                    << " s after a close request, want it ended";
    EXPECT_EQ(*status, 0) << "have exit status " << *status << ", want 0";
    EXPECT_LT(took, kEndLimit) << "have " << took << " s, want under " << kEndLimit << " s";
}

TEST(EndToEndFailures, MissingFileLeavesAGapAndTheOthersKeepTheirPlaces) {
    REQUIRE_X_SERVER();
    SceneUnderTest scene;
    ASSERT_NO_FATAL_FAILURE(start_scene(scene, kFullHd, [](const fs::path& folder) {
        fs::remove(folder / "4bit.bmp");
    }));
    ASSERT_FALSE(scene.samples[1].has_value());
    // The expected scene has bare board in the second column; the other five
    // images stay at 46, 686, 1006, 1326 and 1646.
    const FrameMatch match = wait_for_matching_frame(scene.run, kFullHd, scene.samples, scene.static_scene,
                                                     scene.frame_without_sprite, kSceneTimeout, false);
    EXPECT_TRUE(match.matches) << match.report;
}

TEST(EndToEndFailures, CorruptSpriteStillRunsAndEndsWithStatusZero) {
    REQUIRE_X_SERVER();
    if (!program_in_path("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    SceneUnderTest scene;
    // Cut the sprite's file in half: its pixel data no longer has the size its
    // header promises.
    ASSERT_NO_FATAL_FAILURE(start_scene(scene, kLaptop, [](const fs::path& folder) {
        const fs::path sprite = folder / "32BitAlf.bmp";
        fs::resize_file(sprite, fs::file_size(sprite) / 2);
    }));
    ASSERT_FALSE(scene.samples[kSpriteIndex].has_value()) << "the cut sprite file still decodes";

    // No sprite anywhere, the rest as usual, in several frames over a while.
    for (int shot = 0; shot < 3; ++shot) {
        SCOPED_TRACE(testing::Message() << "capture " << shot);
        const FrameMatch match = wait_for_matching_frame(scene.run, kLaptop, scene.samples, scene.static_scene,
                                                         scene.frame_without_sprite, kSceneTimeout, false);
        ASSERT_TRUE(match.matches) << match.report;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const pid_t typist = start_process({"xdotool", "key", "Escape"}, "", {{"DISPLAY", scene.run.display()}},
                                       "/dev/null", "/dev/null");
    ASSERT_GT(typist, 0);
    const std::optional<int> status = scene.run.wait_end(5.0);
    int typist_status = 0;
    wait_for_exit(typist, 5.0, typist_status);
    ASSERT_TRUE(status.has_value()) << "have the program still running after a key, want it ended";
    EXPECT_EQ(*status, 0) << "have exit status " << *status << ", want 0";
}

TEST(EndToEndFailures, NoDisplayEndsAtOnceWithStatusZero) {
    ShowcaseRun run;
    std::string error;
    ASSERT_TRUE(run.start(nullptr, {}, error)) << error;
    // Without a window nothing could end the loop; the program must not wait.
    const std::optional<int> status = run.wait_end(3.0);
    ASSERT_TRUE(status.has_value()) << "have the program still running 3 s after start without a display, "
                                       "want it ended at once";
    EXPECT_EQ(*status, 0) << "have exit status " << *status << ", want 0";
    EXPECT_EQ(run.printed(), "") << "the program printed something";
}

}  // namespace
