// Turning a port definition ("COM9,38400,E,8") into the texts the serial layer is given.
// Plain text work: no device, no platform call.
#pragma once

#include <cstddef>

// Widths of the working texts; a definition that does not fit them cannot be opened.
constexpr std::size_t kDefinitionSize = 2048; // the definition is shorter than this
constexpr std::size_t kFieldSize = 32;        // baud and parity fields: at most 31 bytes
constexpr std::size_t kDevicePathSize = 20;   // "\\.\" + port name of at most 15 bytes
constexpr std::size_t kSettingsTextSize = 2048;

// Cuts the first field off remaining (modified in place to hold what is left) at separator.
// A byte that reads below 32 as a signed char (control bytes and every byte from 0x80) ends
// the whole text there. The field is written truncated to fieldSize - 1 bytes and terminated;
// the return value is its full length, so the caller can tell when it did not fit.
std::size_t SplitField(char* field, std::size_t fieldSize, char* remaining, char separator);

// Builds DevicePath and LineSettingsText from a definition. Returns false, leaving both
// undefined, when the definition exceeds the widths above.
bool BuildPortTexts(const char* definition, char (&devicePath)[kDevicePathSize],
                    char (&settingsText)[kSettingsTextSize]);
