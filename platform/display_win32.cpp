// The window back end on Windows, straight on Win32 and GDI. One display
// thread makes a borderless popup window exactly the screen's size, centred,
// runs its message loop, queues keys and close requests, and shows the visible
// page about every 10 ms with SetDIBitsToDevice. The window is an ordinary
// window throughout: nothing here changes the display mode or takes the
// display over, so there is nothing to switch to full screen and back.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/key_encoding_win32.h"

namespace {

constexpr DWORD kRefreshIntervalMs = 10;
// Asks the system timer for 1 ms ticks while the window is up; the default
// 15.6 ms tick would stretch every 10 ms wait to 15.6 ms.
constexpr UINT kTimerResolutionMs = 1;
constexpr char kWindowClassName[] = "BitmapShowcaseWindow";
constexpr char kWindowTitle[] = "Bitmap showcase";
// Posted by display_close to wake the thread from its wait.
constexpr UINT kStopMessage = WM_APP + 1;

enum class Startup : uint8_t { pending, ready, failed };

// One window's life, from display_open to display_close. The thread reports
// through startup_event whether the window exists.
struct DisplaySession {
    HANDLE thread = nullptr;
    DWORD thread_id = 0;
    int32_t width = 0;
    int32_t height = 0;
    HANDLE startup_event = nullptr;
    Startup startup = Startup::pending;
    volatile LONG stop = 0;
};

// The open session, if any; closing is set while display_close joins the
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

// What the display thread holds while the window is up. frame is the thread's
// own copy of the visible page, so painting never waits for the facility.
struct WindowState {
    HWND window = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    BITMAPINFO frame_format{};
    std::vector<uint32_t> frame;
    bool frame_copied = false;  // frame holds some page, not just the clear colour
    uint64_t copied_generation = 0;
};

// A top-down 32-bit DIB: GDI reads the ARGB words as B, G, R, unused bytes,
// which is the page's own layout, and ignores the alpha byte.
BITMAPINFO frame_format_for(int32_t width, int32_t height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}

void show_frame(const WindowState& w, HDC device) {
    SetDIBitsToDevice(device, 0, 0, static_cast<DWORD>(w.width), static_cast<DWORD>(w.height),
                      0, 0, 0, static_cast<UINT>(w.height), w.frame.data(), &w.frame_format,
                      DIB_RGB_COLORS);
}

// Copies the visible page into frame when it changed since the last copy and
// shows it. The facility lock is held only for the copy; GDI runs outside it.
void refresh(WindowState& w) {
    {
        std::lock_guard<std::mutex> guard(facility_lock());
        const VisiblePage page = visible_page();
        if (w.frame_copied && page.generation == w.copied_generation) return;
        // A page of another size, or none, belongs to a screen being closed;
        // the window keeps what it shows until it goes.
        if (page.pixels != nullptr && page.width == w.width && page.height == w.height) {
            const size_t row_bytes = static_cast<size_t>(w.width) * sizeof(uint32_t);
            const auto* source = reinterpret_cast<const unsigned char*>(page.pixels);
            for (int32_t y = 0; y < w.height; ++y) {
                std::memcpy(&w.frame[static_cast<size_t>(y) * static_cast<size_t>(w.width)],
                            source + static_cast<int64_t>(y) * page.pitch, row_bytes);
            }
        }
        w.frame_copied = true;
        w.copied_generation = page.generation;
    }
    HDC device = GetDC(w.window);
    if (device != nullptr) {
        show_frame(w, device);
        ReleaseDC(w.window, device);
    }
}

void queue_window_key(UINT message, WPARAM wparam) {
    const std::string key = encode_window_key(message, wparam);
    if (!key.empty()) queue_key(key);
}

// Runs on the display thread only. Nothing here waits for the facility lock
// except queue_key, and only for messages the loop dispatches after start-up:
// while the window is being made, display_open's caller holds that lock.
LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* w = reinterpret_cast<WindowState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_KEYDOWN:
        case WM_CHAR:
            queue_window_key(message, wparam);
            return 0;
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
        case WM_SYSDEADCHAR:
            // System keys are left unqueued, and kept from the default
            // procedure too: there Alt+F4 would close the window and F10 or
            // Alt alone would enter menu mode and swallow the next key.
            return 0;
        case WM_CLOSE:
            // A close request from the taskbar or the task manager. The
            // program decides: it arrives as a key, and the window stays.
            queue_key(kWin32CloseRequestKey);
            return 0;
        case WM_SYSCOMMAND:
            // The window keeps exactly the screen's size and place.
            if ((wparam & 0xFFF0) == SC_MAXIMIZE || (wparam & 0xFFF0) == SC_SIZE ||
                (wparam & 0xFFF0) == SC_MOVE) {
                return 0;
            }
            break;
        case WM_ACTIVATE:
            // Above normal only while the user looks at the window.
            SetThreadPriority(GetCurrentThread(), LOWORD(wparam) != WA_INACTIVE
                                                      ? THREAD_PRIORITY_ABOVE_NORMAL
                                                      : THREAD_PRIORITY_NORMAL);
            break;
        case WM_ERASEBKGND:
            // Every pixel is painted from the frame; erasing would only flicker.
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC device = BeginPaint(window, &paint);
            if (w != nullptr && device != nullptr) show_frame(*w, device);
            EndPaint(window, &paint);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

bool register_window_class(HINSTANCE instance) {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.lpszClassName = kWindowClassName;
    if (RegisterClassExA(&window_class) != 0) return true;
    // A second screen of the same run finds the class already there.
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Makes the popup window, centred on the primary display, and shows it.
bool make_window(WindowState& w, int32_t width, int32_t height) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!register_window_class(instance)) return false;
    w.width = width;
    w.height = height;
    w.frame_format = frame_format_for(width, height);
    w.frame.assign(static_cast<size_t>(width) * static_cast<size_t>(height), kScreenClearColour);
    // A popup has no frame, so its client area is the window: W x H exactly.
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    w.window = CreateWindowExA(WS_EX_APPWINDOW, kWindowClassName, kWindowTitle, WS_POPUP, left, top,
                               width, height, nullptr, nullptr, instance, nullptr);
    if (w.window == nullptr) return false;
    SetWindowLongPtrA(w.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
    ShowWindow(w.window, SW_SHOW);
    SetForegroundWindow(w.window);
    return true;
}

void report_startup(DisplaySession& session, Startup outcome) {
    session.startup = outcome;
    SetEvent(session.startup_event);
}

// The display thread. It reports whether the window exists before it first
// waits for the facility lock, which display_open's caller still holds.
DWORD WINAPI display_main(void* data) {
    DisplaySession& session = *static_cast<DisplaySession*>(data);
    WindowState w;
    if (!make_window(w, session.width, session.height)) {
        report_startup(session, Startup::failed);
        return 1;
    }
    timeBeginPeriod(kTimerResolutionMs);
    report_startup(session, Startup::ready);

    DWORD next_refresh = timeGetTime();
    while (InterlockedCompareExchange(&session.stop, 0, 0) == 0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        refresh(w);
        next_refresh += kRefreshIntervalMs;
        const DWORD now = timeGetTime();
        // After a stall, wait one whole interval rather than race to catch up.
        const auto ahead = static_cast<LONG>(next_refresh - now);
        if (ahead <= 0) next_refresh = now + kRefreshIntervalMs;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, next_refresh - now, QS_ALLINPUT);
    }
    DestroyWindow(w.window);
    timeEndPeriod(kTimerResolutionMs);
    return 0;
}

}  // namespace

bool display_open(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return false;
    DisplayControl& control = display_control();
    std::lock_guard<std::mutex> control_guard(control.lock);
    // One window at a time; the raster core closes the old one first.
    if (control.session != nullptr) return false;

    // The window is measured in the display's own pixels: without this a
    // scaled desktop would enlarge it past the screen.
    SetProcessDPIAware();

    auto* session = new DisplaySession;
    session->width = width;
    session->height = height;
    session->startup_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (session->startup_event == nullptr) {
        delete session;
        return false;
    }
    session->thread = CreateThread(nullptr, 0, display_main, session, 0, &session->thread_id);
    if (session->thread == nullptr) {
        CloseHandle(session->startup_event);
        delete session;
        return false;
    }
    WaitForSingleObject(session->startup_event, INFINITE);
    if (session->startup != Startup::ready) {
        WaitForSingleObject(session->thread, INFINITE);
        CloseHandle(session->thread);
        CloseHandle(session->startup_event);
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
    InterlockedExchange(&session->stop, 1);
    PostThreadMessageA(session->thread_id, kStopMessage, 0, 0);
    WaitForSingleObject(session->thread, INFINITE);
    CloseHandle(session->thread);
    CloseHandle(session->startup_event);
    {
        std::lock_guard<std::mutex> control_guard(control.lock);
        control.session = nullptr;
        control.closing = false;
    }
    delete session;
}
