// The Win32 back end with a real window (under Wine, inside an X server):
// its shape and place, what it shows, and what its messages queue. Messages
// are posted to the window as the system would post them, so they pass
// through the display thread's own loop, TranslateMessage included.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/graphics.h"

namespace {

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 120;
constexpr char kWindowTitle[] = "Bitmap showcase";

std::string printable(const std::string& key) {
    std::string text;
    for (const unsigned char c : key) {
        if (!text.empty()) text += ' ';
        text += std::to_string(c);
    }
    return "[" + text + "]";
}

// lParam of a key message: repeat count 1, the keyboard scan code, and for a
// system key the context bit (Alt held).
LPARAM key_lparam(UINT scan_code, bool alt_held) {
    return static_cast<LPARAM>(1 | (scan_code << 16) | (alt_held ? (1u << 29) : 0u));
}

// The first key queued within timeout_ms; empty when none came.
std::string wait_for_key(DWORD timeout_ms) {
    const ULONGLONG give_up = GetTickCount64() + timeout_ms;
    while (GetTickCount64() < give_up) {
        std::string key = poll_key();
        if (!key.empty()) return key;
        Sleep(5);
    }
    return std::string();
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        while (!poll_key().empty()) {
        }
        if (open_screen(kWidth, kHeight, 32, 2, SCREEN_NO_FRAME | SCREEN_NO_SWITCH | SCREEN_HIGH_PRIORITY,
                        0) != 0) {
            GTEST_SKIP() << "no window could be made: is there a display for Wine?";
        }
        window_ = FindWindowA(nullptr, kWindowTitle);
        ASSERT_NE(window_, nullptr) << "have no window titled \"" << kWindowTitle << "\", want one";
    }
    void TearDown() override { close_screen(); }

    HWND window_ = nullptr;
};

TEST_F(Win32Window, IsABorderlessPopupOfTheScreenSizeCentred) {
    const LONG style = GetWindowLongA(window_, GWL_STYLE);
    EXPECT_NE(style & WS_POPUP, 0) << "have style " << std::hex << style << ", want WS_POPUP";
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZEBOX), 0)
        << "have style " << std::hex << style << ", want no caption, frame or maximise box";

    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right - client.left, kWidth) << "have width " << client.right - client.left;
    EXPECT_EQ(client.bottom - client.top, kHeight) << "have height " << client.bottom - client.top;

    RECT placed{};
    GetWindowRect(window_, &placed);
    const LONG want_left = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const LONG want_top = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    EXPECT_EQ(placed.left, want_left) << "have left " << placed.left << ", want " << want_left;
    EXPECT_EQ(placed.top, want_top) << "have top " << placed.top << ", want " << want_top;
}

TEST_F(Win32Window, ShowsTheVisiblePageWithoutBeingAsked) {
    // Colours and places chosen so that a swapped channel, a bottom-up row
    // order or a shifted column would each show.
    struct Dot {
        int32_t x, y;
        ArgbPixel colour;
        COLORREF want;  // 0x00BBGGRR
    };
    const Dot dots[] = {
        {0, 0, 0xFFFF0000u, RGB(255, 0, 0)},
        {kWidth - 1, 0, 0xFF00FF00u, RGB(0, 255, 0)},
        {0, kHeight - 1, 0xFF0000FFu, RGB(0, 0, 255)},
        {kWidth - 1, kHeight - 1, 0xFF123456u, RGB(0x12, 0x34, 0x56)},
        // The alpha byte is kept on the page but the window ignores it.
        {80, 60, 0x00FFFFFFu, RGB(255, 255, 255)},
    };
    for (const Dot& dot : dots) {
        set_pixel(kNullImage, static_cast<float>(dot.x), static_cast<float>(dot.y), dot.colour);
    }
    // A few refreshes of 10 ms, with room for a slow emulator.
    Sleep(300);
    HDC device = GetDC(window_);
    ASSERT_NE(device, nullptr);
    for (const Dot& dot : dots) {
        const COLORREF have = GetPixel(device, dot.x, dot.y);
        EXPECT_EQ(have, dot.want) << "at (" << dot.x << ", " << dot.y << "): have " << std::hex << have
                                  << ", want " << dot.want;
    }
    // Untouched pixels show the cleared page, opaque black.
    const COLORREF have_cleared = GetPixel(device, 40, 30);
    EXPECT_EQ(have_cleared, RGB(0, 0, 0)) << "have " << std::hex << have_cleared << ", want 0";
    ReleaseDC(window_, device);
}

TEST_F(Win32Window, KeyPressesQueueOnceEachWithTheLinuxEncoding) {
    struct Press {
        const char* name;
        UINT virtual_key;
        UINT scan_code;
        std::string want;
    };
    // Escape types a character (through TranslateMessage); the cursor key has
    // an extended code.
    const Press presses[] = {
        {"Escape", VK_ESCAPE, 0x01, "\x1b"},
        {"Left", VK_LEFT, 0x4B, "\xFF\x4B"},
        {"Space", VK_SPACE, 0x39, " "},
    };
    // One at a time: a character that TranslateMessage makes is posted after
    // whatever key message is already waiting, where real input, which
    // enters the queue key by key, would not be.
    for (const Press& press : presses) {
        SCOPED_TRACE(press.name);
        PostMessageA(window_, WM_KEYDOWN, press.virtual_key, key_lparam(press.scan_code, false));
        const std::string have = wait_for_key(2000);
        EXPECT_EQ(have, press.want) << "have " << printable(have) << ", want " << printable(press.want);
    }
    const std::string extra = wait_for_key(200);
    EXPECT_EQ(extra, "") << "have " << printable(extra) << " after the last key, want nothing";
}

TEST_F(Win32Window, CloseRequestQueuesTheCloseKeyAndKeepsTheWindow) {
    PostMessageA(window_, WM_CLOSE, 0, 0);
    const std::string have = wait_for_key(2000);
    EXPECT_EQ(have, "\xFF" "k") << "have " << printable(have) << ", want [255 107]";
    EXPECT_TRUE(IsWindow(window_)) << "have the window destroyed, want it kept";
}

TEST_F(Win32Window, SystemKeysQueueNothingAndAltF4DoesNotClose) {
    // Each alone would be enough to close the window or queue a key if the
    // back end passed it on: Alt+F4, F10, an Alt+letter with its character.
    PostMessageA(window_, WM_SYSKEYDOWN, VK_F4, key_lparam(0x3E, true));
    PostMessageA(window_, WM_SYSKEYDOWN, VK_F10, key_lparam(0x44, false));
    PostMessageA(window_, WM_SYSKEYDOWN, 'X', key_lparam(0x2D, true));
    PostMessageA(window_, WM_SYSCHAR, 'x', key_lparam(0x2D, true));
    const std::string have = wait_for_key(500);
    EXPECT_EQ(have, "") << "have " << printable(have) << ", want no key";
    EXPECT_TRUE(IsWindow(window_)) << "have the window destroyed, want it kept";
}

TEST_F(Win32Window, ClosingTheScreenRemovesTheWindow) {
    close_screen();
    EXPECT_FALSE(IsWindow(window_)) << "have the window still there after close_screen";
}

}  // namespace
