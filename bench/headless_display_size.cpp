// The display-size query for the benchmark's screen without a window: a
// fixed 1920 x 1080 desktop, the size the scene benchmarks are defined at.
#include "platform/display_settings.h"

int EnumDisplaySettingsA(const char* device_name, uint32_t mode_number, DEVMODEA* record) {
    if (device_name != nullptr || mode_number != ENUM_CURRENT_SETTINGS || record == nullptr) {
        return 0;
    }
    record->dmPelsWidth = 1920;
    record->dmPelsHeight = 1080;
    record->dmBitsPerPel = 32;
    return 1;
}
