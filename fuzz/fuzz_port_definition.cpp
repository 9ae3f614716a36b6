// A port definition, whatever its bytes: the texts built from it stay within their buffers
// and say what the definition said.
#include "port_definition.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string definition(reinterpret_cast<const char*>(data), size); // the text ends at a NUL
    char path[kDevicePathSize];
    char settings[kSettingsTextSize];
    if (BuildPortTexts(definition.c_str(), path, settings)) {
        std::size_t pathLength = strnlen(path, sizeof path);
        std::size_t settingsLength = strnlen(settings, sizeof settings);
        if (pathLength >= sizeof path || settingsLength > 105) std::abort();
        if (std::strncmp(path, "\\\\.\\", 4) != 0) std::abort();
        // The settings text begins with the port name and ends with the fixed stop bit.
        if (std::strncmp(settings, path + 4, pathLength - 4) != 0) std::abort();
        if (settingsLength < 7 || std::strcmp(settings + settingsLength - 7, " Stop=1") != 0)
            std::abort();
    }
    // SplitField with a field too small for the text: never past the field's end.
    std::string remaining = definition.substr(0, strnlen(definition.c_str(), 256));
    std::string copy = remaining;
    copy.push_back('\0');
    char field[9];
    field[8] = 'G';
    std::size_t length = SplitField(field, 8, copy.data(), ',');
    if (field[8] != 'G' || std::strlen(field) > 7 || length > remaining.size()) std::abort();
    return 0;
}
