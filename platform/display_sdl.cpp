// The window back end on Linux, through SDL2. One display thread owns SDL's
// video subsystem, the borderless window, its renderer and a streaming
// texture the size of the screen; it takes the window's events and queues
// keys, and shows the visible page about every 10 ms. While it runs, SDL is
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
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    bool page_uploaded = false;   // the texture holds some page
    uint64_t uploaded_generation = 0;
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

bool make_texture(WindowState& w, Uint32 renderer_flags) {
    w.renderer = SDL_CreateRenderer(w.window, -1, renderer_flags);
    if (w.renderer != nullptr) {
        w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_STREAMING, w.width, w.height);
        if (w.texture != nullptr) {
            // The pages carry alpha bytes that the window must not blend with.
            SDL_SetTextureBlendMode(w.texture, SDL_BLENDMODE_NONE);
            return true;
        }
        SDL_DestroyRenderer(w.renderer);
        w.renderer = nullptr;
    }
    return false;
}

void destroy_window(WindowState& w) {
    if (w.texture != nullptr) SDL_DestroyTexture(w.texture);
    if (w.renderer != nullptr) SDL_DestroyRenderer(w.renderer);
    if (w.window != nullptr) SDL_DestroyWindow(w.window);
    w = WindowState{};
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// Starts SDL video and makes the window with a renderer and texture; on
// failure everything taken is given back.
bool make_window(WindowState& w, int32_t width, int32_t height) {
    set_sdl_hints();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    w.width = width;
    w.height = height;
    // Borderless and not resizable; never SDL_WINDOW_FULLSCREEN, which would
    // change the display mode or take the display over.
    w.window = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                width, height, SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    if (w.window == nullptr) {
        destroy_window(w);
        return false;
    }
    // An accelerated renderer where there is one; the software renderer when
    // it is missing or cannot hold a texture of the screen's size.
    if (!make_texture(w, 0) && !make_texture(w, SDL_RENDERER_SOFTWARE)) {
        destroy_window(w);
        return false;
    }
    // Keys are encoded from key events; text input would only start an input
    // method that can swallow key presses.
    SDL_StopTextInput();
    return true;
}

// Copies the visible page into the texture when it changed since the last
// upload. The facility lock is held only for the copy itself; the texture is
// locked outside it so that SDL's work never delays a facility call.
void upload_page(WindowState& w) {
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> guard(facility_lock());
        generation = visible_page().generation;
    }
    if (w.page_uploaded && generation == w.uploaded_generation) return;

    void* texels = nullptr;
    int texture_pitch = 0;
    if (SDL_LockTexture(w.texture, nullptr, &texels, &texture_pitch) != 0) return;
    {
        std::lock_guard<std::mutex> guard(facility_lock());
        const VisiblePage page = visible_page();
        // A page of another size, or none, belongs to a screen being closed;
        // the window keeps what it shows until it goes.
        if (page.pixels != nullptr && page.width == w.width && page.height == w.height) {
            const size_t row_bytes = static_cast<size_t>(w.width) * sizeof(ArgbPixel);
            const auto* source = reinterpret_cast<const unsigned char*>(page.pixels);
            auto* target = static_cast<unsigned char*>(texels);
            for (int32_t y = 0; y < w.height; ++y) {
                std::memcpy(target + static_cast<int64_t>(y) * texture_pitch,
                            source + static_cast<int64_t>(y) * page.pitch, row_bytes);
            }
            w.present_due = true;
        }
        w.page_uploaded = true;
        w.uploaded_generation = page.generation;
    }
    SDL_UnlockTexture(w.texture);
}

void present(WindowState& w) {
    if (!w.present_due) return;
    // 1:1 into the top-left corner, never scaled, whatever size the window
    // manager gives the window.
    const SDL_Rect area{0, 0, w.width, w.height};
    SDL_RenderCopy(w.renderer, w.texture, nullptr, &area);
    SDL_RenderPresent(w.renderer);
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
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
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
        case SDL_RENDER_DEVICE_RESET:
            // The texture went with the device: make it again, upload anew.
            SDL_DestroyTexture(w.texture);
            w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_ARGB8888,
                                          SDL_TEXTUREACCESS_STREAMING, w.width, w.height);
            if (w.texture != nullptr) SDL_SetTextureBlendMode(w.texture, SDL_BLENDMODE_NONE);
            w.page_uploaded = false;
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
        if (w.texture != nullptr) {
            upload_page(w);
            present(w);
        }
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
