// The program entry: create the one window and run the message loop.
#pragma once

#include "components.h"

// An Exception escaping the start-up or the loop is shown in the error box; the exit code is
// 0 all the same. Exceptions from event handlers never get here: the loop shows them itself.
template <class Form> int ProgramEntry(Form*& form) {
    try {
        Application->Initialize();
        Application->CreateForm(form);
        Application->Run();
    } catch (const Exception& e) {
        Application->ShowException(e);
    }
    return 0;
}
