// The Win32 key mapping against the encoding the Linux back end uses:
// characters as themselves, extended keys as 255 + PC BIOS scan code.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/key_encoding_win32.h"

namespace {

std::string printable(const std::string& key) {
    std::string text;
    for (const unsigned char c : key) {
        if (!text.empty()) text += ' ';
        text += std::to_string(c);
    }
    return "[" + text + "]";
}

struct KeyRow {
    const char* name;
    uint32_t message;
    uintptr_t wparam;
    std::string want;
};

const KeyRow kKeyRows[] = {
    // Characters come from WM_CHAR, already shaped by layout and modifiers.
    {"letter", WM_CHAR, 'a', "a"},
    {"capital", WM_CHAR, 'Q', "Q"},
    {"digit", WM_CHAR, '7', "7"},
    {"space", WM_CHAR, ' ', " "},
    {"Enter", WM_CHAR, 13, "\r"},
    {"Escape", WM_CHAR, 27, "\x1b"},
    {"Backspace", WM_CHAR, 8, "\b"},
    {"Ctrl+C", WM_CHAR, 3, "\x03"},
    {"Latin-1 e acute", WM_CHAR, 0xE9, "\xE9"},
    {"y diaeresis would read as the prefix", WM_CHAR, 0xFF, ""},
    {"beyond Latin-1", WM_CHAR, 0x416, ""},
    // Extended keys from WM_KEYDOWN: 255 and the BIOS scan code.
    {"Up", WM_KEYDOWN, VK_UP, "\xFF\x48"},
    {"Down", WM_KEYDOWN, VK_DOWN, "\xFF\x50"},
    {"Left", WM_KEYDOWN, VK_LEFT, "\xFF\x4B"},
    {"Right", WM_KEYDOWN, VK_RIGHT, "\xFF\x4D"},
    {"Home", WM_KEYDOWN, VK_HOME, "\xFF\x47"},
    {"End", WM_KEYDOWN, VK_END, "\xFF\x4F"},
    {"Page Up", WM_KEYDOWN, VK_PRIOR, "\xFF\x49"},
    {"Page Down", WM_KEYDOWN, VK_NEXT, "\xFF\x51"},
    {"Insert", WM_KEYDOWN, VK_INSERT, "\xFF\x52"},
    {"Delete", WM_KEYDOWN, VK_DELETE, "\xFF\x53"},
    {"F1", WM_KEYDOWN, VK_F1, "\xFF\x3B"},
    {"F9", WM_KEYDOWN, VK_F9, "\xFF\x43"},
    {"F11", WM_KEYDOWN, VK_F11, "\xFF\x85"},
    {"F12", WM_KEYDOWN, VK_F12, "\xFF\x86"},
    // Keys whose WM_KEYDOWN queues nothing: their WM_CHAR does, or nothing.
    {"letter key down", WM_KEYDOWN, 'A', ""},
    {"Escape key down", WM_KEYDOWN, VK_ESCAPE, ""},
    {"Shift alone", WM_KEYDOWN, VK_SHIFT, ""},
    {"Ctrl alone", WM_KEYDOWN, VK_CONTROL, ""},
    {"Caps Lock", WM_KEYDOWN, VK_CAPITAL, ""},
    {"keypad 5 without Num Lock", WM_KEYDOWN, VK_CLEAR, ""},
    // System keys: F10 and everything with Alt held.
    {"F10", WM_SYSKEYDOWN, VK_F10, ""},
    {"Alt+F4", WM_SYSKEYDOWN, VK_F4, ""},
    {"Alt+X key", WM_SYSKEYDOWN, 'X', ""},
    {"Alt+X character", WM_SYSCHAR, 'x', ""},
    {"Alt alone", WM_SYSKEYDOWN, VK_MENU, ""},
    // Releases never count.
    {"key up", WM_KEYUP, VK_UP, ""},
};

TEST(Win32KeyEncoding, QueuesWhatTheLinuxBackEndQueues) {
    for (const KeyRow& row : kKeyRows) {
        SCOPED_TRACE(row.name);
        const std::string have = encode_window_key(row.message, row.wparam);
        EXPECT_EQ(have, row.want) << "have " << printable(have) << ", want " << printable(row.want);
    }
}

}  // namespace
