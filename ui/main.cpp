#include "components.h"
#include "main_window.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    try {
        Application->Initialize();
        Application->CreateForm(F1);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(e);
    }
    return 0;
}
