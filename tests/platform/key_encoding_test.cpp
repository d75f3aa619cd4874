// encode_key_press: what one SDL key-down event queues.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <SDL_keyboard.h>

#include "platform/key_encoding.h"
#include "tests/platform/printable_key.h"

namespace {

struct KeyRow {
    const char* name;
    SDL_Keycode sym;
    SDL_Scancode scancode;
    uint16_t mod;
    const char* want;  // "" when the key queues nothing
};

// Scan codes of the extended keys as the PC BIOS reports them:
// 'H' 72, 'P' 80, 'K' 75, 'M' 77, 'G' 71, 'O' 79, 'I' 73, 'Q' 81,
// 'R' 82, 'S' 83, ';' 59, 'C' 67, 0x85 133, 0x86 134.
constexpr KeyRow kKeyRows[] = {
    // Letters as typed: Shift and Caps Lock each make capitals, together they cancel.
    {"a", SDLK_a, SDL_SCANCODE_A, KMOD_NONE, "a"},
    {"shift+a", SDLK_a, SDL_SCANCODE_A, KMOD_LSHIFT, "A"},
    {"right shift+z", SDLK_z, SDL_SCANCODE_Z, KMOD_RSHIFT, "Z"},
    {"caps lock+q", SDLK_q, SDL_SCANCODE_Q, KMOD_CAPS, "Q"},
    {"caps lock+shift+q", SDLK_q, SDL_SCANCODE_Q, KMOD_CAPS | KMOD_LSHIFT, "q"},
    {"ctrl+a", SDLK_a, SDL_SCANCODE_A, KMOD_LCTRL, "\x01"},
    {"ctrl+z", SDLK_z, SDL_SCANCODE_Z, KMOD_RCTRL, "\x1A"},
    // Digits and their US shifted symbols; Caps Lock leaves them alone.
    {"1", SDLK_1, SDL_SCANCODE_1, KMOD_NONE, "1"},
    {"shift+1", SDLK_1, SDL_SCANCODE_1, KMOD_LSHIFT, "!"},
    {"shift+2", SDLK_2, SDL_SCANCODE_2, KMOD_LSHIFT, "@"},
    {"shift+0", SDLK_0, SDL_SCANCODE_0, KMOD_RSHIFT, ")"},
    {"caps lock+7", SDLK_7, SDL_SCANCODE_7, KMOD_CAPS, "7"},
    {"shift+slash", SDLK_SLASH, SDL_SCANCODE_SLASH, KMOD_LSHIFT, "?"},
    {"shift+quote", SDLK_QUOTE, SDL_SCANCODE_APOSTROPHE, KMOD_LSHIFT, "\""},
    {"backquote", SDLK_BACKQUOTE, SDL_SCANCODE_GRAVE, KMOD_NONE, "`"},
    // Control characters.
    {"space", SDLK_SPACE, SDL_SCANCODE_SPACE, KMOD_NONE, " "},
    {"shift+space", SDLK_SPACE, SDL_SCANCODE_SPACE, KMOD_LSHIFT, " "},
    {"enter", SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_NONE, "\x0D"},
    {"keypad enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, KMOD_NUM, "\x0D"},
    {"escape", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, KMOD_NONE, "\x1B"},
    {"backspace", SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, KMOD_NONE, "\x08"},
    {"tab", SDLK_TAB, SDL_SCANCODE_TAB, KMOD_NONE, "\x09"},
    // Extended keys: 255 then the scan code, modifiers other than Alt ignored.
    {"up", SDLK_UP, SDL_SCANCODE_UP, KMOD_NONE, "\xFFH"},
    {"down", SDLK_DOWN, SDL_SCANCODE_DOWN, KMOD_NONE, "\xFFP"},
    {"left", SDLK_LEFT, SDL_SCANCODE_LEFT, KMOD_NONE, "\xFFK"},
    {"right", SDLK_RIGHT, SDL_SCANCODE_RIGHT, KMOD_NONE, "\xFFM"},
    {"shift+up", SDLK_UP, SDL_SCANCODE_UP, KMOD_LSHIFT, "\xFFH"},
    {"home", SDLK_HOME, SDL_SCANCODE_HOME, KMOD_NONE, "\xFFG"},
    {"end", SDLK_END, SDL_SCANCODE_END, KMOD_NONE, "\xFFO"},
    {"page up", SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, KMOD_NONE, "\xFFI"},
    {"page down", SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, KMOD_NONE, "\xFFQ"},
    {"insert", SDLK_INSERT, SDL_SCANCODE_INSERT, KMOD_NONE, "\xFFR"},
    {"delete", SDLK_DELETE, SDL_SCANCODE_DELETE, KMOD_NONE, "\xFFS"},
    {"F1", SDLK_F1, SDL_SCANCODE_F1, KMOD_NONE, "\xFF;"},
    {"F9", SDLK_F9, SDL_SCANCODE_F9, KMOD_NONE, "\xFF" "C"},
    {"F11", SDLK_F11, SDL_SCANCODE_F11, KMOD_NONE, "\xFF\x85"},
    {"F12", SDLK_F12, SDL_SCANCODE_F12, KMOD_NONE, "\xFF\x86"},
    // The keypad follows Num Lock; its 5 has no cursor function.
    {"keypad 8, num lock", SDLK_KP_8, SDL_SCANCODE_KP_8, KMOD_NUM, "8"},
    {"keypad 8", SDLK_KP_8, SDL_SCANCODE_KP_8, KMOD_NONE, "\xFFH"},
    {"keypad 8 as reported up", SDLK_UP, SDL_SCANCODE_KP_8, KMOD_NONE, "\xFFH"},
    {"keypad period", SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, KMOD_NONE, "\xFFS"},
    {"keypad 5", SDLK_KP_5, SDL_SCANCODE_KP_5, KMOD_NONE, ""},
    {"keypad plus", SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, KMOD_NONE, "+"},
    // A Latin-1 key of another layout (German o umlaut) types its character.
    {"o umlaut", 0xF6, SDL_SCANCODE_SEMICOLON, KMOD_NONE, "\xF6"},
    // Nothing: system keys, Alt combinations, modifiers and locks alone.
    {"F10", SDLK_F10, SDL_SCANCODE_F10, KMOD_NONE, ""},
    {"alt+x", SDLK_x, SDL_SCANCODE_X, KMOD_LALT, ""},
    {"right alt+1", SDLK_1, SDL_SCANCODE_1, KMOD_RALT, ""},
    {"alt+F4", SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT, ""},
    {"alt+up", SDLK_UP, SDL_SCANCODE_UP, KMOD_LALT, ""},
    {"alt+enter", SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LALT, ""},
    {"shift alone", SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT, ""},
    {"ctrl alone", SDLK_RCTRL, SDL_SCANCODE_RCTRL, KMOD_RCTRL, ""},
    {"alt alone", SDLK_LALT, SDL_SCANCODE_LALT, KMOD_LALT, ""},
    {"windows key alone", SDLK_LGUI, SDL_SCANCODE_LGUI, KMOD_LGUI, ""},
    {"caps lock", SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK, KMOD_NONE, ""},
    {"num lock", SDLK_NUMLOCKCLEAR, SDL_SCANCODE_NUMLOCKCLEAR, KMOD_NONE, ""},
    {"print screen", SDLK_PRINTSCREEN, SDL_SCANCODE_PRINTSCREEN, KMOD_NONE, ""},
};

TEST(EncodeKeyPress, QueuesCharacterExtendedCodeOrNothing) {
    for (const KeyRow& row : kKeyRows) {
        SCOPED_TRACE(row.name);
        SDL_Keysym key{};
        key.sym = row.sym;
        key.scancode = row.scancode;
        key.mod = row.mod;
        const std::string have = encode_key_press(key);
        EXPECT_EQ(have, std::string(row.want))
            << "have " << printable(have) << ", want " << printable(row.want);
    }
}

}  // namespace
