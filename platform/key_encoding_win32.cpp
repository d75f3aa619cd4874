// Keyboard messages as the facility queues them, in the manner of a PC
// console read: a typed character as itself, any other key with an extended
// code as 255 followed by the scan code the PC BIOS reports for it.
#include "platform/key_encoding_win32.h"

#include <windows.h>

namespace {

constexpr char kExtendedPrefix = '\xFF';

// The last character that can be queued as itself: 255 would read as the
// extended prefix, and anything beyond Latin-1 has no one-byte form.
constexpr uintptr_t kLastQueuedCharacter = 254;

struct ExtendedKey {
    uintptr_t virtual_key;
    uint8_t scan_code;
};

// Keyed by virtual-key code, not by the scan code in lParam: the keypad's cursor
// keys (Num Lock off) share codes with the grey keys, and F11 and F12 report
// keyboard scan codes 87 and 88 where the BIOS gives 133 and 134. F10 is
// missing on purpose: Windows reports it as a system key.
constexpr ExtendedKey kExtendedKeys[] = {
    {VK_UP, 72},     {VK_DOWN, 80},   {VK_LEFT, 75},  {VK_RIGHT, 77}, {VK_HOME, 71},
    {VK_END, 79},    {VK_PRIOR, 73},  {VK_NEXT, 81},  {VK_INSERT, 82}, {VK_DELETE, 83},
    {VK_F1, 59},     {VK_F2, 60},     {VK_F3, 61},    {VK_F4, 62},    {VK_F5, 63},
    {VK_F6, 64},     {VK_F7, 65},     {VK_F8, 66},    {VK_F9, 67},    {VK_F11, 133},
    {VK_F12, 134},
};

}  // namespace

std::string encode_window_key(uint32_t message, uintptr_t wparam) {
    switch (message) {
        case WM_CHAR:
            if (wparam == 0 || wparam > kLastQueuedCharacter) return std::string();
            return std::string(1, static_cast<char>(wparam));
        case WM_KEYDOWN:
            for (const ExtendedKey& key : kExtendedKeys) {
                if (key.virtual_key == wparam) {
                    return std::string{kExtendedPrefix, static_cast<char>(key.scan_code)};
                }
            }
            return std::string();
        default:
            return std::string();
    }
}
