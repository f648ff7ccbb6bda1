// The application object: where exceptions that nobody else catches are reported.
// The GUI replaces the report by filling OnException (set it before other threads run; it is
// called on the thread that reports, so a GUI handler marshals to its own thread itself).
// Without a handler the message goes to the standard error stream.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "framework/Component.h"

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception_ptr& E)>;

class TApplication : public TComponent {
public:
    using TComponent::TComponent;

    // Reports the exception being handled; call it inside a catch block.
    void HandleException(TObject* Sender);
    void HandleException(const std::exception_ptr& E, TObject* Sender = nullptr);
    // Writes "<message>" on its own line to the standard error stream.
    void ShowException(const std::exception_ptr& E) const;

    const std::string& GetTitle() const { return title_; }
    void SetTitle(const std::string& Value) { title_ = Value; }

    TExceptionEvent OnException;

private:
    std::string title_;
};

// The process's application object; never null.
extern TApplication* Application;
