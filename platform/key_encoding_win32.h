// What the Win32 back end queues for a keyboard message. A pure function of
// the message, kept apart from the window so it can be tested without one.
#pragma once

#include <cstdint>
#include <string>

// The two-character key a request to close the window queues: 255, then 'k'.
inline constexpr char kWin32CloseRequestKey[] = "\xFF" "k";

// The string to queue for one window message (its number and wParam as the
// window procedure receives them); empty when it queues nothing.
// The encoding is the one the SDL back end uses on Linux:
//   WM_CHAR       a typed character (1 to 254) as that one character; the
//                 layout, Shift, Caps Lock and Ctrl are already applied by
//                 TranslateMessage, so Enter, Escape, Backspace, Tab and
//                 Ctrl+letter arrive here as 13, 27, 8, 9 and 1 to 26;
//   WM_KEYDOWN    a key with an extended code (cursor keys, Home, End, Page
//                 Up/Down, Insert, Delete, F1 to F9, F11, F12, the keypad's
//                 cursor keys with Num Lock off) as 255 followed by the PC
//                 BIOS scan code; every other key waits for its WM_CHAR or
//                 queues nothing (modifiers, lock keys);
//   anything else nothing: system keys (F10, keys with Alt held) arrive as
//                 WM_SYSKEYDOWN and WM_SYSCHAR and are never queued.
std::string encode_window_key(uint32_t message, uintptr_t wparam);
