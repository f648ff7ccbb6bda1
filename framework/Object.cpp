#include "framework/Object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "framework/Exception.h"

std::string TObject::ClassName() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

void TPersistent::Assign(const TPersistent* Source) {
    if (Source == nullptr)
        AssignError(nullptr);
    Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const {
    if (Dest == nullptr)
        throw EConvertError("Cannot assign a " + ClassName() + " to nothing");
    Dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* Source) const {
    const std::string from = Source != nullptr ? "a " + Source->ClassName() : "nothing";
    throw EConvertError("Cannot assign " + from + " to a " + ClassName());
}
