// Key presses as the facility queues them, in the manner of a PC console
// read: a typed character as itself, any other key with an extended code as
// 255 followed by the scan code the PC BIOS reports for it.
#include "platform/key_encoding.h"

#include <cstdint>
#include <string>

#include <SDL_keyboard.h>

namespace {

constexpr char kExtendedPrefix = '\xFF';

constexpr char kEnter = 13;
constexpr char kEscape = 27;
constexpr char kBackspace = 8;
constexpr char kTab = 9;

struct ExtendedKey {
    SDL_Keycode sym;
    uint8_t scan_code;
};

// F10 is missing on purpose: on the PC it is a system key that opens the
// menu bar, and the facility leaves system keys to the system.
constexpr ExtendedKey kExtendedKeys[] = {
    {SDLK_UP, 72},     {SDLK_DOWN, 80},     {SDLK_LEFT, 75},     {SDLK_RIGHT, 77},
    {SDLK_HOME, 71},   {SDLK_END, 79},      {SDLK_PAGEUP, 73},   {SDLK_PAGEDOWN, 81},
    {SDLK_INSERT, 82}, {SDLK_DELETE, 83},   {SDLK_F1, 59},       {SDLK_F2, 60},
    {SDLK_F3, 61},     {SDLK_F4, 62},       {SDLK_F5, 63},       {SDLK_F6, 64},
    {SDLK_F7, 65},     {SDLK_F8, 66},       {SDLK_F9, 67},       {SDLK_F11, 133},
    {SDLK_F12, 134},
};

// The keypad's digit keys type digits with Num Lock on and move the cursor
// with it off, as on the PC; 5 then has no function and queues nothing.
struct KeypadKey {
    SDL_Scancode scancode;
    char with_num_lock;
    uint8_t scan_code_without;  // 0: nothing without Num Lock
};

constexpr KeypadKey kKeypadKeys[] = {
    {SDL_SCANCODE_KP_0, '0', 82}, {SDL_SCANCODE_KP_1, '1', 79},      {SDL_SCANCODE_KP_2, '2', 80},
    {SDL_SCANCODE_KP_3, '3', 81}, {SDL_SCANCODE_KP_4, '4', 75},      {SDL_SCANCODE_KP_5, '5', 0},
    {SDL_SCANCODE_KP_6, '6', 77}, {SDL_SCANCODE_KP_7, '7', 71},      {SDL_SCANCODE_KP_8, '8', 72},
    {SDL_SCANCODE_KP_9, '9', 73}, {SDL_SCANCODE_KP_PERIOD, '.', 83},
};

// The keys that type the same character whatever the modifiers.
struct PlainKey {
    SDL_Keycode sym;
    char typed;
};

constexpr PlainKey kPlainKeys[] = {
    {SDLK_SPACE, ' '},       {SDLK_RETURN, kEnter},  {SDLK_RETURN2, kEnter},
    {SDLK_KP_ENTER, kEnter}, {SDLK_ESCAPE, kEscape}, {SDLK_BACKSPACE, kBackspace},
    {SDLK_TAB, kTab},        {SDLK_KP_DIVIDE, '/'},  {SDLK_KP_MULTIPLY, '*'},
    {SDLK_KP_MINUS, '-'},    {SDLK_KP_PLUS, '+'},    {SDLK_KP_EQUALS, '='},
};

// The digit and punctuation keys of a US keyboard and what Shift makes of
// them. Caps Lock does not touch these, only letters.
struct ShiftedKey {
    SDL_Keycode sym;
    char shifted;
};

constexpr ShiftedKey kShiftedKeys[] = {
    {SDLK_1, '!'},          {SDLK_2, '@'},         {SDLK_3, '#'},      {SDLK_4, '$'},
    {SDLK_5, '%'},          {SDLK_6, '^'},         {SDLK_7, '&'},      {SDLK_8, '*'},
    {SDLK_9, '('},          {SDLK_0, ')'},         {SDLK_MINUS, '_'},  {SDLK_EQUALS, '+'},
    {SDLK_LEFTBRACKET, '{'}, {SDLK_RIGHTBRACKET, '}'}, {SDLK_BACKSLASH, '|'},
    {SDLK_SEMICOLON, ':'},  {SDLK_QUOTE, '"'},     {SDLK_COMMA, '<'},  {SDLK_PERIOD, '>'},
    {SDLK_SLASH, '?'},      {SDLK_BACKQUOTE, '~'},
};

// Keys of other layouts that type a Latin-1 letter (a German ö, a French é)
// report it as their key code; they queue it unshifted rather than nothing,
// so that every character key still counts as a key. 255 is left out: it
// would read as the extended prefix.
constexpr SDL_Keycode kFirstLatin1Printable = 0xA0;
constexpr SDL_Keycode kLastLatin1Printable = 0xFE;

std::string one_character(char c) { return std::string(1, c); }

std::string extended(uint8_t scan_code) {
    return std::string{kExtendedPrefix, static_cast<char>(scan_code)};
}

}  // namespace

std::string encode_key_press(const SDL_Keysym& key) {
    const uint16_t mod = key.mod;
    if ((mod & KMOD_ALT) != 0) return std::string();
    const bool shift = (mod & KMOD_SHIFT) != 0;
    const bool ctrl = (mod & KMOD_CTRL) != 0;
    const bool caps_lock = (mod & KMOD_CAPS) != 0;
    const bool num_lock = (mod & KMOD_NUM) != 0;

    // The keypad is told apart by position: its key codes depend on how the
    // system maps Num Lock, its scan codes do not.
    for (const KeypadKey& keypad : kKeypadKeys) {
        if (key.scancode != keypad.scancode) continue;
        if (num_lock) return one_character(keypad.with_num_lock);
        if (keypad.scan_code_without == 0) return std::string();
        return extended(keypad.scan_code_without);
    }
    for (const ExtendedKey& ext : kExtendedKeys) {
        if (key.sym == ext.sym) return extended(ext.scan_code);
    }
    for (const PlainKey& plain : kPlainKeys) {
        if (key.sym == plain.sym) return one_character(plain.typed);
    }
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) {
        const int letter = key.sym - SDLK_a;
        if (ctrl) return one_character(static_cast<char>(1 + letter));
        const bool upper = shift != caps_lock;
        return one_character(static_cast<char>((upper ? 'A' : 'a') + letter));
    }
    for (const ShiftedKey& shifted : kShiftedKeys) {
        if (key.sym == shifted.sym) {
            return one_character(shift ? shifted.shifted : static_cast<char>(shifted.sym));
        }
    }
    if (key.sym >= kFirstLatin1Printable && key.sym <= kLastLatin1Printable) {
        return one_character(static_cast<char>(key.sym));
    }
    // Modifiers, lock keys, F10, Print Screen, Pause, media keys.
    return std::string();
}
