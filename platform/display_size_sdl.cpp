// The display-settings query on Linux: the current mode of SDL's display 0,
// which SDL orders so that the primary display (XRandR's primary output on
// X11) comes first.
//
// Call it from the thread that opens and closes the screen. While a screen
// is open the display thread owns SDL's video subsystem and this only reads
// the mode SDL keeps; otherwise the subsystem is started just for the query.
#include <cstdint>

#include <SDL.h>

#include "platform/sdl_video.h"
#include "platform/display_settings.h"

namespace {


// dmFields flags of the published record for the fields the query fills.
constexpr uint32_t DM_BITSPERPEL = 0x00040000u;
constexpr uint32_t DM_PELSWIDTH = 0x00080000u;
constexpr uint32_t DM_PELSHEIGHT = 0x00100000u;
constexpr uint32_t DM_DISPLAYFREQUENCY = 0x00400000u;

bool current_primary_mode(SDL_DisplayMode* mode) {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return SDL_GetCurrentDisplayMode(0, mode) == 0;
    // Left to itself SDL turns SIGINT and SIGTERM into quit events of its
    // own; the program wants their default action, ending the process.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Without a desktop SDL would fall back to its offscreen driver, whose
    // display has an invented size.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, desktop_video_drivers());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    const bool found = SDL_GetCurrentDisplayMode(0, mode) == 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return found;
}

}  // namespace

int EnumDisplaySettingsA(const char* device_name, uint32_t mode_number, DEVMODEA* record) {
    if (device_name != nullptr || mode_number != ENUM_CURRENT_SETTINGS || record == nullptr) {
        return 0;
    }
    SDL_DisplayMode mode{};
    if (!current_primary_mode(&mode) || mode.w <= 0 || mode.h <= 0) return 0;
    record->dmPelsWidth = static_cast<uint32_t>(mode.w);
    record->dmPelsHeight = static_cast<uint32_t>(mode.h);
    // Windows counts a 24-bit colour depth stored in 32-bit pixels as 32 bits
    // per pixel; the storage size says the same here.
    record->dmBitsPerPel = static_cast<uint32_t>(SDL_BYTESPERPIXEL(mode.format)) * 8u;
    record->dmFields |= DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    if (mode.refresh_rate > 0) {
        record->dmDisplayFrequency = static_cast<uint32_t>(mode.refresh_rate);
        record->dmFields |= DM_DISPLAYFREQUENCY;
    }
    return 1;
}
