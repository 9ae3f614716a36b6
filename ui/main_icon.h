#pragma once

// MAINICON: 32 x 32 pixels, 16 colours, as an XPM image.
const char* const* MainIcon();
