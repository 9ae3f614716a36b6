// The program entry on Windows.
#include "components.h"
#include "entry.h"
#include "main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    char* argv[] = {nullptr};
    TApplication app(argc, argv);
    return ProgramEntry(F1);
}
