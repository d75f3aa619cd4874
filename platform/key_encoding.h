// What the SDL back end queues for a key press. A pure function of the SDL
// key record, kept apart from the window so it can be tested without one.
#pragma once

#include <string>

#include <SDL_keyboard.h>

// The two-character key a request to close the window queues: 255, then 'k'.
inline constexpr char kCloseRequestKey[] = "\xFF" "k";

// The string to queue for one key-down event, repeats included; empty when
// the key queues nothing. A key that types a character gives that character
// as a US keyboard types it (Shift and Caps Lock applied, Ctrl with a letter
// giving its control code 1 to 26); a key with an extended code gives 255
// followed by the PC keyboard's scan code for it. Modifier and lock keys
// alone, F10, and every key pressed with Alt held give nothing.
std::string encode_key_press(const SDL_Keysym& key);
