#include "framework/Application.h"

#include <cstdio>

#include "framework/Exception.h"

namespace {
// Never destroyed: threads may still report while the process exits.
TApplication& DefaultApplication() {
    static auto* app = new TApplication();
    return *app;
}
} // namespace

TApplication* Application = &DefaultApplication();

void TApplication::HandleException(TObject* Sender) {
    HandleException(std::current_exception(), Sender);
}

void TApplication::HandleException(const std::exception_ptr& E, TObject* Sender) {
    if (!E)
        return;
    if (OnException) {
        try {
            OnException(Sender, E);
            return;
        } catch (...) {
            // A failing handler must not hide the original report.
        }
    }
    ShowException(E);
}

void TApplication::ShowException(const std::exception_ptr& E) const {
    const std::string msg = ExceptionMessage(E) + "\n";
    std::fputs(msg.c_str(), stderr);
    std::fflush(stderr);
}
