// What the components do the same way on every platform.
#include "components.h"

TApplication* Application = nullptr;

void TForm::DoCreate() {
    Dispatch(OnCreate, this);
}

void TApplication::Adopt(std::unique_ptr<TForm> form) {
    TForm* created = form.get();
    forms_.push_back(std::move(form));
    created->DoCreate();
}

void TApplication::HandleException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception("Unknown exception"));
    }
}

void Dispatch(const TNotifyEvent& handler, TObject* sender) {
    if (!handler) return;
    try {
        handler(sender);
    } catch (...) {
        if (Application)
            Application->HandleException(std::current_exception());
        else
            throw;
    }
}
