// The window back end on Linux, through SDL2. One display thread owns SDL's
// video subsystem, the borderless window and its surface; it takes the
// window's events and queues keys, and about every 10 ms copies the visible
// page into the surface and presents it, when the page changed. While it runs, SDL is
// touched from no other thread but for the display-size query, which then
// only reads the mode SDL keeps.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <SDL.h>

#include "platform/sdl_video.h"
#include "platform/display.h"
#include "platform/key_encoding.h"

namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(10);
constexpr char kWindowTitle[] = "Bitmap showcase";

enum class Startup : uint8_t { pending, ready, failed };

// One window's life, from display_open to display_close.
struct DisplaySession {
    SDL_Thread* thread = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    std::atomic<bool> stop{false};
    // display_open waits here for the thread to say whether the window exists.
    std::mutex startup_lock;
    std::condition_variable startup_changed;
    Startup startup = Startup::pending;
};

// The open session, if any. closing is set while display_close joins the
// thread, so that neither a second close nor a new open touches it meanwhile.
struct DisplayControl {
    std::mutex lock;
    DisplaySession* session = nullptr;
    bool closing = false;
};

// Never destroyed: a program that leaves main with the screen still open
// must not run a destructor under its running display thread.
DisplayControl& display_control() {
    static DisplayControl* const instance = new DisplayControl;
    return *instance;
}

// What the display thread holds while the window is up.
struct WindowState {
    SDL_Window* window = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    bool page_copied = false;   // the window surface holds some page
    uint64_t copied_generation = 0;
    bool present_due = true;
};

void set_sdl_hints() {
    // Only drivers that put a window on a desktop. Left to choose, SDL falls
    // back to its offscreen driver and "succeeds" with a window nobody sees
    // and no keys, or takes over a text console through KMSDRM. An
    // SDL_VIDEODRIVER set in the environment still overrides this.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, desktop_video_drivers());
    // The program wants the default action of SIGINT and SIGTERM (ending the
    // process), not SDL's quit events, which nobody would read.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window covers the desktop but is an ordinary window: it must not
    // minimise when the user switches away, nor take the keyboard for itself.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_GRAB_KEYBOARD, "0");
    // A close request is queued as a key and the program decides; SDL must
    // not add a quit event of its own when the window is asked to close.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
}

// On X11 the window surface is an XShm image (XPutImage without the
// extension) that the server copies straight into the window. Left to
// itself SDL would put an OpenGL texture behind it instead, and where the
// GL is Mesa's software rasteriser, as on machines without a GPU driver
// and under Xvfb, showing 30 pages a second of 1920 x 1080 cost about 45% of
// a core that way against about 2% this way. Other drivers have no surface of their own and need
// SDL's texture behind it. SDL reads the hint when the first surface is
// made; one set in the environment still wins.
void choose_window_surface_kind() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    } else {
        SDL_ResetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    }
}

void destroy_window(WindowState& w) {
    if (w.window != nullptr) SDL_DestroyWindow(w.window);
    w = WindowState{};
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// Starts SDL video and makes the window and its surface; on failure
// everything taken is given back.
bool make_window(WindowState& w, int32_t width, int32_t height) {
    set_sdl_hints();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    choose_window_surface_kind();
    w.width = width;
    w.height = height;
    // Borderless and not resizable; never SDL_WINDOW_FULLSCREEN, which would
    // change the display mode or take the display over.
    w.window = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    // Made now so that a window that cannot be shown is refused at once.
    if (w.window == nullptr || SDL_GetWindowSurface(w.window) == nullptr) {
        destroy_window(w);
        return false;
    }
    // Keys are encoded from key events; text input would only start an input
    // method that can swallow key presses.
    SDL_StopTextInput();
    return true;
}

bool is_page_layout(Uint32 format) {
    // The alpha byte never reaches the screen, so X-R-G-B takes the page's
    // bytes as they are.
    return format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_RGB888;
}

// Copies the visible page into the window surface when it changed since the
// last copy, or when the surface is new. The facility lock is held only for
// the copy itself; SDL's work on the surface happens outside it.
void copy_page_to_surface(WindowState& w) {
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> guard(facility_lock());
        generation = visible_page().generation;
    }
    if (w.page_copied && generation == w.copied_generation) return;

    // SDL makes the surface anew after the window changed size.
    SDL_Surface* surface = SDL_GetWindowSurface(w.window);
    if (surface == nullptr || SDL_LockSurface(surface) != 0) return;
    if (!w.page_copied) {
        // A new surface holds whatever its memory held; a page of another
        // size would leave that showing.
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        w.present_due = true;
    }
    // 1:1 into the top-left corner, never scaled, whatever size the window
    // manager gives the window.
    const int32_t width = surface->w < w.width ? surface->w : w.width;
    const int32_t height = surface->h < w.height ? surface->h : w.height;
    const Uint32 format = surface->format->format;
    {
        std::lock_guard<std::mutex> guard(facility_lock());
        const VisiblePage page = visible_page();
        // A page of another size, or none, belongs to a screen being closed;
        // the window keeps what it shows until it goes.
        if (page.pixels != nullptr && page.width == w.width && page.height == w.height) {
            if (is_page_layout(format)) {
                const size_t row_bytes = static_cast<size_t>(width) * sizeof(ArgbPixel);
                const auto* source = reinterpret_cast<const unsigned char*>(page.pixels);
                auto* target = static_cast<unsigned char*>(surface->pixels);
                for (int32_t y = 0; y < height; ++y) {
                    std::memcpy(target + static_cast<int64_t>(y) * surface->pitch,
                                source + static_cast<int64_t>(y) * page.pitch, row_bytes);
                }
            } else {
                // A display of another depth or channel order, such as a
                // 16-bit X server.
                SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_ARGB8888, page.pixels,
                                  static_cast<int>(page.pitch), format, surface->pixels,
                                  surface->pitch);
            }
            w.present_due = true;
        }
        w.page_copied = true;
        w.copied_generation = page.generation;
    }
    SDL_UnlockSurface(surface);
}

void present(WindowState& w) {
    if (!w.present_due) return;
    if (SDL_UpdateWindowSurface(w.window) != 0) {
        // The surface went with a change of size before the event said so:
        // copy the page into the new one and present again next time.
        w.page_copied = false;
        return;
    }
    w.present_due = false;
}

void handle_window_event(WindowState& w, const SDL_WindowEvent& event) {
    switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE:
            // A window manager turns Alt+F4 into a close request, and Alt+F4
            // must neither close the window nor count as a key. A close from
            // the taskbar or a menu arrives with Alt up.
            if ((SDL_GetModState() & KMOD_ALT) == 0) queue_key(kCloseRequestKey);
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            // The window keeps exactly the screen's size.
            SDL_RestoreWindow(w.window);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            // Above normal only while the user looks at the window; where the
            // system refuses (no privilege, no RealtimeKit) it stays normal.
            SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            SDL_SetThreadPriority(SDL_THREAD_PRIORITY_NORMAL);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            // SDL dropped the surface; the next one starts empty.
            w.page_copied = false;
            w.present_due = true;
            break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
            // The surface still holds the page; the server only needs it again.
            w.present_due = true;
            break;
        default:
            break;
    }
}

void handle_event(WindowState& w, const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN: {
            // Held keys arrive again with repeat set; each one is a key.
            const std::string key = encode_key_press(event.key.keysym);
            if (!key.empty()) queue_key(key);
            break;
        }
        case SDL_WINDOWEVENT:
            handle_window_event(w, event.window);
            break;
        default:
            break;
    }
}

void report_startup(DisplaySession& session, Startup outcome) {
    std::lock_guard<std::mutex> guard(session.startup_lock);
    session.startup = outcome;
    session.startup_changed.notify_all();
}

// The display thread. It reports whether the window exists before it first
// waits for the facility lock, which display_open's caller still holds.
int display_main(void* data) {
    DisplaySession& session = *static_cast<DisplaySession*>(data);
    WindowState w;
    if (!make_window(w, session.width, session.height)) {
        report_startup(session, Startup::failed);
        return 1;
    }
    report_startup(session, Startup::ready);

    auto next_refresh = std::chrono::steady_clock::now();
    while (!session.stop.load(std::memory_order_acquire)) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) handle_event(w, event);
        copy_page_to_surface(w);
        present(w);
        next_refresh += kRefreshInterval;
        const auto now = std::chrono::steady_clock::now();
        // After a stall, wait one whole interval rather than race to catch up.
        if (next_refresh <= now) next_refresh = now + kRefreshInterval;
        std::this_thread::sleep_until(next_refresh);
    }
    destroy_window(w);
    return 0;
}

}  // namespace

bool display_open(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return false;
    DisplayControl& control = display_control();
    std::lock_guard<std::mutex> control_guard(control.lock);
    // One window at a time; the raster core closes the old one first.
    if (control.session != nullptr) return false;

    auto* session = new DisplaySession;
    session->width = width;
    session->height = height;
    session->thread = SDL_CreateThread(display_main, "display", session);
    if (session->thread == nullptr) {
        delete session;
        return false;
    }
    Startup outcome = Startup::pending;
    {
        std::unique_lock<std::mutex> guard(session->startup_lock);
        session->startup_changed.wait(guard, [&] { return session->startup != Startup::pending; });
        outcome = session->startup;
    }
    if (outcome != Startup::ready) {
        SDL_WaitThread(session->thread, nullptr);
        delete session;
        return false;
    }
    control.session = session;
    return true;
}

void display_close() {
    DisplayControl& control = display_control();
    DisplaySession* session = nullptr;
    {
        std::lock_guard<std::mutex> control_guard(control.lock);
        if (control.session == nullptr || control.closing) return;
        control.closing = true;
        session = control.session;
    }
    // Joined without the control lock: the thread may be waiting for the
    // facility lock, and whoever holds that may be in display_open.
    session->stop.store(true, std::memory_order_release);
    SDL_WaitThread(session->thread, nullptr);
    {
        std::lock_guard<std::mutex> control_guard(control.lock);
        control.session = nullptr;
        control.closing = false;
    }
    delete session;
}
