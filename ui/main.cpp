#include "components.h"
#include "entry.h"
#include "main_icon.h"
#include "main_window.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    app.SetIcon(MainIcon());
    return ProgramEntry(F1);
}
