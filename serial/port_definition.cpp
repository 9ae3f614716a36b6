#include "port_definition.h"

#include <cstring>

std::size_t SplitField(char* field, std::size_t fieldSize, char* remaining, char separator) {
    const std::size_t length = std::strlen(remaining);
    std::size_t cut = length; // bytes that belong to the field
    bool keepRest = false;
    for (std::size_t i = 0; i < length; ++i) {
        if (remaining[i] == separator) {
            cut = i;
            keepRest = true;
            break;
        }
        if (static_cast<signed char>(remaining[i]) < 32) {
            cut = i;
            break;
        }
    }
    if (fieldSize > 0) {
        std::size_t copied = cut < fieldSize - 1 ? cut : fieldSize - 1;
        std::memcpy(field, remaining, copied);
        field[copied] = '\0';
    }
    if (keepRest)
        std::memmove(remaining, remaining + cut + 1, length - cut); // terminator included
    else
        remaining[0] = '\0';
    return cut;
}

bool BuildPortTexts(const char* definition, char (&devicePath)[kDevicePathSize],
                    char (&settingsText)[kSettingsTextSize]) {
    const std::size_t length = strnlen(definition, kDefinitionSize);
    if (length >= kDefinitionSize) return false;
    char remaining[kDefinitionSize];
    std::memcpy(remaining, definition, length + 1);
    char field[kFieldSize];

    if (SplitField(field, sizeof field, remaining, ',') > kDevicePathSize - 5) return false;
    std::strcpy(settingsText, field);
    std::strcpy(devicePath, "\\\\.\\");
    std::strcat(devicePath, field);

    std::strcat(settingsText, ":Baud=");
    if (SplitField(field, sizeof field, remaining, ',') >= kFieldSize) return false;
    std::strcat(settingsText, field);

    std::strcat(settingsText, " Parity=");
    if (SplitField(field, sizeof field, remaining, ',') >= kFieldSize) return false;
    std::strcat(settingsText, field);

    // Only the first byte after the third comma counts: a fifth field has no effect.
    std::strcat(settingsText, " Data=");
    if (remaining[0] != '\0') remaining[1] = '\0';
    std::strcat(settingsText, remaining);
    std::strcat(settingsText, " Stop=1");
    return true;
}
