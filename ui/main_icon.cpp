#include "main_icon.h"

#include "resources/quorvane.xpm"

const char* const* MainIcon() {
    return quorvane_xpm;
}
