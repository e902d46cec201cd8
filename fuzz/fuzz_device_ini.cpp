// Fuzz target: device.ini and the ROM version text. Any text is read or refused with a reason; what
// is read, written back into the same text, reads back equal; a version that reads formats and
// reads back to the same number.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "synckit/DeviceImage.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    if (std::optional<uint32_t> rom = synckit::ParseRomVersion(text)) {
        std::string shown = synckit::FormatRomVersion(*rom);
        FUZZ_CHECK(synckit::ParseRomVersion(shown) == rom);
    }

    synckit::DeviceIniResult parsed = synckit::ParseDeviceIni(text);
    if (!parsed.info) {
        FUZZ_CHECK(!parsed.error.empty());
        return 0;
    }
    std::string error;
    std::optional<std::string> updated = synckit::UpdateDeviceIni(text, *parsed.info, &error);
    if (!updated) {
        // Only a ROM version the parser would not take, or a name with a line break, is refused.
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    synckit::DeviceIniResult reread = synckit::ParseDeviceIni(*updated);
    FUZZ_CHECK(reread.info.has_value());
    FUZZ_CHECK(*reread.info == *parsed.info);

    // Writing other values into the text reads back exactly those values.
    synckit::DeviceInfo changed = *parsed.info;
    changed.userName = "  Fuzz User ";
    changed.romVersion = "4.1.2";
    changed.lastSyncDesktopId = 0xFFFFFFFFu;
    std::optional<std::string> rewritten = synckit::UpdateDeviceIni(text, changed, &error);
    FUZZ_CHECK(rewritten.has_value());
    synckit::DeviceIniResult rereadChanged = synckit::ParseDeviceIni(*rewritten);
    FUZZ_CHECK(rereadChanged.info.has_value());
    FUZZ_CHECK(*rereadChanged.info == changed);
    return 0;
}
