// The display-settings query in the shape of the Windows call: on Windows it
// is the real EnumDisplaySettingsA; elsewhere an adapter with the same
// record layout fills dmPelsWidth and dmPelsHeight from the primary display.
#pragma once

#include <cstdint>

// On Windows too the record and the call are declared here rather than taken
// from <windows.h>, whose BITMAPFILEHEADER and BITMAPINFOHEADER would clash
// with the decoder's own records of those names in the showcase's sources.
inline constexpr uint32_t ENUM_CURRENT_SETTINGS = 0xFFFFFFFFu;

// DEVMODEA as published (156 bytes); only the fields the showcase uses are named
// apart, the rest are kept as opaque spans at their published offsets.
struct DEVMODEA {
    char dmDeviceName[32];
    uint16_t dmSpecVersion;
    uint16_t dmDriverVersion;
    uint16_t dmSize;
    uint16_t dmDriverExtra;
    uint32_t dmFields;
    uint8_t dmPositionAndOrientation[16];
    int16_t dmColor;
    int16_t dmDuplex;
    int16_t dmYResolution;
    int16_t dmTTOption;
    int16_t dmCollate;
    char dmFormName[32];
    uint16_t dmLogPixels;
    uint32_t dmBitsPerPel;
    uint32_t dmPelsWidth;
    uint32_t dmPelsHeight;
    uint32_t dmDisplayFlags;
    uint32_t dmDisplayFrequency;
    uint32_t dmICMMethod;
    uint32_t dmICMIntent;
    uint32_t dmMediaType;
    uint32_t dmDitherType;
    uint32_t dmReserved1;
    uint32_t dmReserved2;
    uint32_t dmPanningWidth;
    uint32_t dmPanningHeight;
};
static_assert(sizeof(DEVMODEA) == 156, "DEVMODEA is 156 bytes");

#ifdef _WIN32
// The system's own call in user32.dll, with DWORD spelled as Windows has it.
extern "C" __declspec(dllimport) int __stdcall EnumDisplaySettingsA(const char* device_name,
                                                                    unsigned long mode_number,
                                                                    DEVMODEA* record);
#else
// Fills dmPelsWidth and dmPelsHeight (and dmBitsPerPel, dmDisplayFrequency
// where known) with the current mode of the primary display when device_name
// is null and mode_number is ENUM_CURRENT_SETTINGS. Non-zero on success;
// on failure the fields are left as they were.
int EnumDisplaySettingsA(const char* device_name, uint32_t mode_number, DEVMODEA* record);
#endif
