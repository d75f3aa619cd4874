// The SDL window back end against real X servers. Every Xvfb* test starts a
// private Xvfb of 640 x 480 (depth 24 unless it says otherwise), opens the
// screen through the facility, and reads what the window shows back from the
// X server; keys come in through xdotool.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/display_settings.h"
#include "platform/graphics.h"
#include "tests/platform/printable_key.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr auto kPatience = std::chrono::seconds(2);
constexpr uint32_t kScreenOptions = SCREEN_NO_FRAME | SCREEN_NO_SWITCH | SCREEN_HIGH_PRIORITY;

// ---- processes -------------------------------------------------------------

// Runs a program found on PATH with the test's environment; its exit status,
// or -1 when it could not be started or did not end normally.
int run_program(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void xdotool(std::initializer_list<std::string> args) {
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), args);
    ASSERT_EQ(run_program(command), 0) << "xdotool failed";
}

struct XvfbServer {
    pid_t pid = -1;
    std::string display_name;
};

// Starts Xvfb on a free display number, which it reports through a pipe
// (-displayfd) once it accepts connections.
bool start_xvfb(XvfbServer* server, int depth, const std::vector<std::string>& options,
                std::string* error) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = "pipe failed";
        return false;
    }
    const std::string write_fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(kScreenWidth) + "x" +
                               std::to_string(kScreenHeight) + "x" + std::to_string(depth);
    std::vector<const char*> argv{"Xvfb",         "-displayfd", write_fd.c_str(), "-screen", "0",
                                  screen.c_str(), "-nolisten",  "tcp",            "-noreset"};
    for (const std::string& option : options) argv.push_back(option.c_str());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr,
                                     const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        *error = "cannot start Xvfb (is the xvfb package installed?)";
        return false;
    }
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&readable, 1, 10000) > 0) {
        char buffer[16];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        number.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        *error = "Xvfb did not report a display number";
        return false;
    }
    server->pid = pid;
    server->display_name = ":" + number.substr(0, number.find('\n'));
    return true;
}

void stop_xvfb(XvfbServer& server) {
    if (server.pid <= 0) return;
    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
    server.pid = -1;
}

// Keeps an environment variable's value to put it back afterwards.
struct SavedVariable {
    const char* name;
    std::optional<std::string> value;
};

SavedVariable save_variable(const char* name) {
    const char* value = std::getenv(name);
    return SavedVariable{name, value ? std::optional<std::string>(value) : std::nullopt};
}

void restore_variable(const SavedVariable& saved) {
    if (saved.value) {
        setenv(saved.name, saved.value->c_str(), 1);
    } else {
        unsetenv(saved.name);
    }
}

// ---- reading the X server --------------------------------------------------

int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

std::vector<Window> viewable_top_levels(Display* display) {
    Window root_return = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> viewable;
    if (XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children,
                   &count) == 0) {
        return viewable;
    }
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable) {
            viewable.push_back(children[i]);
        }
    }
    if (children != nullptr) XFree(children);
    return viewable;
}

// The one window the facility shows, once it is mapped.
std::optional<Window> wait_for_window(Display* display) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    do {
        const std::vector<Window> windows = viewable_top_levels(display);
        if (windows.size() == 1) return windows[0];
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool wait_for_no_window(Display* display) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    do {
        if (viewable_top_levels(display).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

struct ShownPixel {
    int x;  // on the X screen
    int y;
    uint32_t rgb;  // the X pixel value: 0xRRGGBB at depth 24, 5-6-5 at depth 16
};

// Reads the X screen until every pixel shows its colour or patience runs
// out; the mismatches of the last reading otherwise.
std::string wait_for_pixels(Display* display, const std::vector<ShownPixel>& want) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    std::string mismatches;
    do {
        XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, kScreenWidth,
                                  kScreenHeight, AllPlanes, ZPixmap);
        if (image == nullptr) return "XGetImage failed";
        mismatches.clear();
        for (const ShownPixel& pixel : want) {
            const uint32_t have = static_cast<uint32_t>(XGetPixel(image, pixel.x, pixel.y)) &
                                  0xFFFFFFu;
            if (have != pixel.rgb) {
                char line[96];
                std::snprintf(line, sizeof line, "(%d, %d): have %06X, want %06X\n", pixel.x,
                              pixel.y, have, pixel.rgb);
                mismatches += line;
            }
        }
        XDestroyImage(image);
        if (mismatches.empty()) return mismatches;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return mismatches;
}

// Keys from the facility's queue until count have come or patience runs
// out, and then any that follow within a short while, which ought to be none.
std::vector<std::string> collect_keys(size_t count) {
    std::vector<std::string> keys;
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    bool settling = false;
    while (std::chrono::steady_clock::now() < deadline) {
        std::string key = poll_key();
        if (!key.empty()) {
            keys.push_back(std::move(key));
            continue;
        }
        if (keys.size() >= count && !settling) {
            settling = true;
            deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return keys;
}

void send_close_request(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

// ---- the fixture -----------------------------------------------------------

class XvfbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(start_xvfb(&server_, depth_, xvfb_options_, &error)) << error;
        setenv("DISPLAY", server_.display_name.c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_RENDER_DRIVER");
        unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
        display_ = XOpenDisplay(server_.display_name.c_str());
        ASSERT_NE(display_, nullptr) << "cannot connect to " << server_.display_name;
        XSetErrorHandler(ignore_x_errors);
        // SDL writes Motif decoration hints only where a window manager has
        // made their atom known; stand in for one that reads them.
        XInternAtom(display_, "_MOTIF_WM_HINTS", False);
        XSync(display_, False);
        const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
        const unsigned long want_red_mask = depth_ == 16 ? 0xF800u : 0xFF0000u;
        ASSERT_EQ(visual->red_mask, want_red_mask) << "the pixel checks expect this layout";
    }

    void TearDown() override {
        close_screen();
        if (display_ != nullptr) XCloseDisplay(display_);
        stop_xvfb(server_);
        for (const SavedVariable& saved : saved_) restore_variable(saved);
    }

    // Opens the screen and waits until its window is mapped and focused, so
    // that keys sent afterwards reach it.
    Window open_and_focus(int32_t width, int32_t height) {
        EXPECT_EQ(open_screen(width, height, 32, 2, kScreenOptions, 0), 0);
        const std::optional<Window> window = wait_for_window(display_);
        EXPECT_TRUE(window.has_value()) << "have no window, want one";
        if (!window) return 0;
        XSetInputFocus(display_, *window, RevertToParent, CurrentTime);
        XSync(display_, False);
        return *window;
    }

    // Set by a derived fixture's constructor, before SetUp starts the server.
    int depth_ = 24;
    std::vector<std::string> xvfb_options_;
    XvfbServer server_;
    Display* display_ = nullptr;
    std::vector<SavedVariable> saved_{save_variable("DISPLAY"), save_variable("WAYLAND_DISPLAY"),
                                      save_variable("SDL_VIDEODRIVER"),
                                      save_variable("SDL_RENDER_DRIVER"),
                                      save_variable("SDL_FRAMEBUFFER_ACCELERATION")};
};

// ---- the window ------------------------------------------------------------

using XvfbWindow = XvfbTest;

TEST_F(XvfbWindow, IsBorderlessExactSizeCentredAndGoesOnClose) {
    ASSERT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
    const std::optional<Window> window = wait_for_window(display_);
    ASSERT_TRUE(window.has_value()) << "have no window, want one";

    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display_, *window, &attributes), 0);
    // Centred on 640 x 480: (640 - 320) / 2 = 160, (480 - 240) / 2 = 120.
    EXPECT_EQ(attributes.width, 320) << "have width " << attributes.width << ", want 320";
    EXPECT_EQ(attributes.height, 240) << "have height " << attributes.height << ", want 240";
    EXPECT_EQ(attributes.x, 160) << "have x " << attributes.x << ", want 160";
    EXPECT_EQ(attributes.y, 120) << "have y " << attributes.y << ", want 120";
    EXPECT_EQ(attributes.border_width, 0);

    // Window managers read "no decorations" from the Motif hints: flags bit 1
    // (decorations given) set, decorations 0.
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const Atom motif_hints = XInternAtom(display_, "_MOTIF_WM_HINTS", False);
    ASSERT_EQ(XGetWindowProperty(display_, *window, motif_hints, 0, 5, False, AnyPropertyType,
                                 &type, &format, &items, &remaining, &data),
              Success);
    ASSERT_EQ(items, 5u) << "have no Motif hints, want decorations switched off";
    const auto* hints = reinterpret_cast<const unsigned long*>(data);
    EXPECT_NE(hints[0] & 2u, 0u) << "have flags " << hints[0] << ", want the decorations bit";
    EXPECT_EQ(hints[2], 0u) << "have decorations " << hints[2] << ", want 0";
    XFree(data);

    // A window, not a full-screen surface.
    data = nullptr;
    const Atom wm_state = XInternAtom(display_, "_NET_WM_STATE", False);
    const Atom fullscreen = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
    if (XGetWindowProperty(display_, *window, wm_state, 0, 32, False, XA_ATOM, &type, &format,
                           &items, &remaining, &data) == Success &&
        data != nullptr) {
        const auto* states = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < items; ++i) EXPECT_NE(states[i], fullscreen);
        XFree(data);
    }

    close_screen();
    EXPECT_TRUE(wait_for_no_window(display_)) << "have a window after close_screen, want none";
}

// The page reaches the window by each way SDL can show a window surface: an
// image in memory shared with the X server, plain XPutImage where the server
// lacks that extension, and an OpenGL texture (Mesa's software rasteriser
// under Xvfb), which is what drivers without a surface of their own take.
struct Presentation {
    const char* name;
    const char* framebuffer_acceleration;  // SDL_FRAMEBUFFER_ACCELERATION, nullptr: unset
    std::vector<std::string> xvfb_options;
};

void PrintTo(const Presentation& presentation, std::ostream* out) { *out << presentation.name; }

class XvfbPresentation : public XvfbTest, public ::testing::WithParamInterface<Presentation> {
  protected:
    XvfbPresentation() { xvfb_options_ = GetParam().xvfb_options; }
    void SetUp() override {
        XvfbTest::SetUp();
        if (GetParam().framebuffer_acceleration != nullptr) {
            setenv("SDL_FRAMEBUFFER_ACCELERATION", GetParam().framebuffer_acceleration, 1);
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Xvfb, XvfbPresentation,
                         ::testing::Values(Presentation{"SharedMemory", nullptr, {}},
                                           Presentation{"PutImage", nullptr,
                                                        {"-extension", "MIT-SHM"}},
                                           Presentation{"OpenGLTexture", "opengl", {}}),
                         [](const ::testing::TestParamInfo<Presentation>& info) {
                             return std::string(info.param.name);
                         });

TEST_P(XvfbPresentation, ShowsWhatIsDrawnAndLaterChanges) {
    ASSERT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
    ASSERT_TRUE(wait_for_window(display_).has_value());
    // The window's top-left pixel sits at (160, 120) of the X screen.
    EXPECT_EQ(wait_for_pixels(display_, {{160, 120, 0x000000}, {479, 359, 0x000000}}), "")
        << "a new screen is black";

    set_pixel(kNullImage, 0, 0, 0xFF112233u);
    set_pixel(kNullImage, 319, 239, 0xFF445566u);
    // The alpha byte is stored but never shown: transparent white shows white.
    set_pixel(kNullImage, 10, 20, 0x00FFFFFFu);
    Image tile = create_image(2, 2, 32);
    ASSERT_NE(tile, kNullImage);
    set_pixel(tile, 0, 0, 0xFFFF0000u);
    set_pixel(tile, 1, 0, 0xFF00FF00u);
    set_pixel(tile, 0, 1, 0xFF0000FFu);
    set_pixel(tile, 1, 1, 0x80FF0000u);
    draw_image(100, 50, tile, BLIT_COPY);
    // Over black: red 0 + floor(255 x 255 / 256) = 254, 0 + floor(255 x 128 / 256) = 127.
    draw_image(200, 60, tile, BLIT_ALPHA);
    EXPECT_EQ(wait_for_pixels(display_, {{160, 120, 0x112233},
                                         {479, 359, 0x445566},
                                         {170, 140, 0xFFFFFF},
                                         {260, 170, 0xFF0000},
                                         {261, 170, 0x00FF00},
                                         {260, 171, 0x0000FF},
                                         {261, 171, 0xFF0000},
                                         {360, 180, 0xFE0000},
                                         {361, 181, 0x7F0000},
                                         {300, 250, 0x000000}}),
              "");

    // A page that changes after it was shown is shown again.
    set_pixel(kNullImage, 319, 239, 0xFFABCDEFu);
    EXPECT_EQ(wait_for_pixels(display_, {{479, 359, 0xABCDEF}, {160, 120, 0x112233}}), "");
}

TEST_P(XvfbPresentation, RepaintsWhatAnotherWindowUncovers) {
    ASSERT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
    ASSERT_TRUE(wait_for_window(display_).has_value());
    set_pixel(kNullImage, 0, 0, 0xFF112233u);
    set_pixel(kNullImage, 200, 100, 0xFF445566u);
    ASSERT_EQ(wait_for_pixels(display_, {{160, 120, 0x112233}, {360, 220, 0x445566}}), "");

    // A white window over the whole screen, then gone again: the page has not
    // changed, so only the window's repaint on exposure brings it back.
    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(display_, DefaultScreen(display_));
    attributes.override_redirect = True;
    const Window cover = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, kScreenWidth,
                                       kScreenHeight, 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWBackPixel | CWOverrideRedirect,
                                       &attributes);
    XMapRaised(display_, cover);
    XSync(display_, False);
    ASSERT_EQ(wait_for_pixels(display_, {{160, 120, 0xFFFFFF}, {360, 220, 0xFFFFFF}}), "")
        << "the covering window did not show";
    XDestroyWindow(display_, cover);
    XSync(display_, False);
    EXPECT_EQ(wait_for_pixels(display_, {{160, 120, 0x112233}, {360, 220, 0x445566}}), "");
}

// A 16-bit X server: the page is converted to 5-6-5, each channel cut to
// its top bits.
class XvfbSixteenBit : public XvfbTest {
  protected:
    XvfbSixteenBit() { depth_ = 16; }
};

TEST_F(XvfbSixteenBit, ShowsThePageConvertedAndLaterChanges) {
    ASSERT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
    ASSERT_TRUE(wait_for_window(display_).has_value());
    EXPECT_EQ(wait_for_pixels(display_, {{160, 120, 0x0000}, {479, 359, 0x0000}}), "")
        << "a new screen is black";

    // 0x112233: red 0x11 >> 3 = 2, green 0x22 >> 2 = 8, blue 0x33 >> 3 = 6,
    // (2 << 11) | (8 << 5) | 6 = 0x1106. The alpha byte is not shown.
    set_pixel(kNullImage, 0, 0, 0xFF112233u);
    set_pixel(kNullImage, 10, 20, 0x00FFFFFFu);
    EXPECT_EQ(wait_for_pixels(display_, {{160, 120, 0x1106}, {170, 140, 0xFFFF}}), "");

    // 0xABCDEF: 0xAB >> 3 = 21, 0xCD >> 2 = 51, 0xEF >> 3 = 29,
    // (21 << 11) | (51 << 5) | 29 = 0xA800 | 0x0660 | 0x1D = 0xAE7D.
    set_pixel(kNullImage, 319, 239, 0xFFABCDEFu);
    EXPECT_EQ(wait_for_pixels(display_, {{479, 359, 0xAE7D}, {160, 120, 0x1106}}), "");
}

// Threads of Mesa's software rasteriser, which runs whenever SDL shows the
// window through OpenGL on a machine without a GPU driver.
std::vector<std::string> software_gl_threads() {
    std::vector<std::string> names;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return names;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const std::string path = std::string("/proc/self/task/") + entry->d_name + "/comm";
        std::FILE* file = std::fopen(path.c_str(), "r");
        if (file == nullptr) continue;
        char name[64] = {};
        if (std::fgets(name, sizeof name, file) != nullptr &&
            std::strncmp(name, "llvmpipe", 8) == 0) {
            names.emplace_back(name, std::strcspn(name, "\n"));
        }
        std::fclose(file);
    }
    closedir(tasks);
    return names;
}

TEST_F(XvfbWindow, PresentsWithoutOpenGLOnX11) {
    ASSERT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
    ASSERT_TRUE(wait_for_window(display_).has_value());
    set_pixel(kNullImage, 0, 0, 0xFF112233u);
    ASSERT_EQ(wait_for_pixels(display_, {{160, 120, 0x112233}}), "");
    const std::vector<std::string> threads = software_gl_threads();
    EXPECT_TRUE(threads.empty()) << "have software GL threads " << printable(threads)
                                 << ", want the window shown without GL";
}

// ---- keys and close requests -----------------------------------------------

using XvfbKeys = XvfbTest;

TEST_F(XvfbKeys, TypedKeysArriveEncodedAndSystemKeysNot) {
    const Window window = open_and_focus(320, 240);
    ASSERT_NE(window, 0u);
    struct Typed {
        const char* xdotool_key;
        const char* want;  // nullptr: nothing is queued
    };
    const Typed typed[] = {
        {"a", "a"},           {"shift+a", "A"},        {"Up", "\xFFH"},   {"Left", "\xFFK"},
        {"F1", "\xFF;"},      {"F12", "\xFF\x86"},     {"Return", "\r"},  {"Escape", "\x1B"},
        {"BackSpace", "\b"},  {"Tab", "\t"},           {"space", " "},    {"shift+1", "!"},
        {"alt+x", nullptr},   {"F10", nullptr},        {"Shift_L", nullptr},
        {"Control_L", nullptr}, {"alt+F4", nullptr},   {"7", "7"},
    };
    std::vector<std::string> command{"xdotool", "key"};
    std::vector<std::string> want;
    for (const Typed& key : typed) {
        command.push_back(key.xdotool_key);
        if (key.want != nullptr) want.push_back(key.want);
    }
    ASSERT_EQ(run_program(command), 0) << "xdotool failed";
    const std::vector<std::string> have = collect_keys(want.size());
    EXPECT_EQ(have, want) << "have " << printable(have) << ", want " << printable(want);
    EXPECT_TRUE(screen_is_open()) << "Alt+F4 must not close the screen";
}

TEST_F(XvfbKeys, HeldKeyRepeats) {
    const Window window = open_and_focus(320, 240);
    ASSERT_NE(window, 0u);
    // The X server repeats a held key after 660 ms, then 25 times a second:
    // a second and a half of holding gives the press and some twenty repeats.
    xdotool({"keydown", "Down"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    xdotool({"keyup", "Down"});
    const std::vector<std::string> have = collect_keys(3);
    EXPECT_GE(have.size(), 3u) << "have " << have.size() << " keys, want the press and repeats";
    for (const std::string& key : have) {
        EXPECT_EQ(key, "\xFFP") << "have " << printable(key) << ", want \"\\xFFP\"";
    }
}

TEST_F(XvfbKeys, CloseRequestArrivesAsFFk) {
    const Window window = open_and_focus(320, 240);
    ASSERT_NE(window, 0u);
    send_close_request(display_, window);
    const std::vector<std::string> have = collect_keys(1);
    const std::vector<std::string> want{"\xFFk"};
    EXPECT_EQ(have, want) << "have " << printable(have) << ", want " << printable(want);
    // The request is only a key: the program decides, the window stays.
    EXPECT_TRUE(screen_is_open());
    EXPECT_EQ(viewable_top_levels(display_).size(), 1u);
}

TEST_F(XvfbKeys, CloseRequestWhileAltIsHeldIsAltF4AndIgnored) {
    const Window window = open_and_focus(320, 240);
    ASSERT_NE(window, 0u);
    xdotool({"keydown", "Alt_L"});
    // Input from xdotool's connection and the request from ours reach the
    // window in the order the server handles them; give it time to do so.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    send_close_request(display_, window);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    xdotool({"keyup", "Alt_L"});
    xdotool({"key", "b"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    send_close_request(display_, window);
    const std::vector<std::string> have = collect_keys(2);
    const std::vector<std::string> want{"b", "\xFFk"};
    EXPECT_EQ(have, want) << "have " << printable(have) << ", want " << printable(want);
}

// ---- refused screens -------------------------------------------------------

using XvfbOpenScreen = XvfbTest;

TEST_F(XvfbOpenScreen, RefusedSizesOpenNoWindowAndLeaveTheFacilityUsable) {
    struct Size {
        const char* name;
        int32_t width;
        int32_t height;
    };
    const Size refused[] = {
        {"zero width", 0, 480},
        {"zero height", 640, 0},
        {"negative width", -640, 480},
        {"negative height", 640, -1},
        // Allocated by the raster core, but wider than any window SDL makes.
        {"wider than a window can be", 20000, 16},
    };
    for (const Size& size : refused) {
        SCOPED_TRACE(size.name);
        EXPECT_NE(open_screen(size.width, size.height, 32, 2, kScreenOptions, 0), 0)
            << "have the screen open, want it refused";
        EXPECT_FALSE(screen_is_open());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(viewable_top_levels(display_).empty()) << "have a window, want none";
    }
    // A refusal leaves nothing behind that stops the next screen.
    EXPECT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
    EXPECT_TRUE(wait_for_window(display_).has_value()) << "have no window, want one";
}

// ---- the display-settings query --------------------------------------------

using XvfbDisplaySettings = XvfbTest;

DEVMODEA blank_record() {
    DEVMODEA record;
    std::memset(&record, 0, sizeof record);
    record.dmSize = sizeof record;
    return record;
}

TEST_F(XvfbDisplaySettings, CurrentModeIsTheXvfbScreenWithOrWithoutAWindow) {
    for (const bool with_window : {false, true}) {
        SCOPED_TRACE(with_window ? "screen open" : "no screen");
        if (with_window) {
            ASSERT_EQ(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0);
        }
        DEVMODEA record = blank_record();
        EXPECT_NE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &record), 0);
        EXPECT_EQ(record.dmPelsWidth, 640u) << "have " << record.dmPelsWidth << ", want 640";
        EXPECT_EQ(record.dmPelsHeight, 480u) << "have " << record.dmPelsHeight << ", want 480";
        // Depth 24 stored in 32-bit pixels, as Windows reports it.
        EXPECT_EQ(record.dmBitsPerPel, 32u) << "have " << record.dmBitsPerPel << ", want 32";
        EXPECT_EQ(record.dmSize, 156u);
    }
}

TEST_F(XvfbDisplaySettings, OtherDevicesAndModesFailLeavingTheRecord) {
    struct Query {
        const char* name;
        const char* device;
        uint32_t mode;
    };
    const Query queries[] = {
        {"named device", "\\\\.\\DISPLAY1", ENUM_CURRENT_SETTINGS},
        {"mode 0", nullptr, 0},
        {"registry mode", nullptr, 0xFFFFFFFEu},
    };
    for (const Query& query : queries) {
        SCOPED_TRACE(query.name);
        DEVMODEA record = blank_record();
        record.dmPelsWidth = 7;
        record.dmPelsHeight = 9;
        const DEVMODEA before = record;
        EXPECT_EQ(EnumDisplaySettingsA(query.device, query.mode, &record), 0);
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << "have the record changed";
    }
}

// ---- no display at all -------------------------------------------------------

TEST(OpenScreenWithoutDisplay, FailsCleanlyAndQueryFails) {
    const SavedVariable saved[] = {save_variable("DISPLAY"), save_variable("WAYLAND_DISPLAY"),
                                   save_variable("SDL_VIDEODRIVER")};
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");

    EXPECT_NE(open_screen(320, 240, 32, 2, kScreenOptions, 0), 0)
        << "have a screen without a display, want none";
    EXPECT_FALSE(screen_is_open());
    EXPECT_EQ(poll_key(), "");

    DEVMODEA record = blank_record();
    const DEVMODEA before = record;
    EXPECT_EQ(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &record), 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << "have the record changed";

    for (const SavedVariable& variable : saved) restore_variable(variable);
}

}  // namespace
