// Root of the class tree, and the base of objects whose contents can be copied onto another.
#pragma once

#include <functional>
#include <string>

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    // Readable class name of the dynamic type, used in error messages.
    std::string ClassName() const;
};

// The plain notification handler: an empty function is an empty slot.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
public:
    // Copies Source's contents into this object through Source->AssignTo(this); raises
    // EConvertError when Source is null or cannot be assigned here.
    virtual void Assign(const TPersistent* Source);
    // Copies this object's contents into Dest. Default: this class cannot be copied into Dest's
    // class, raises EConvertError. Overrides end with the inherited call for unknown Dest types.
    virtual void AssignTo(TPersistent* Dest) const;

protected:
    // Raises EConvertError "Cannot assign a <Source class> to a <this class>".
    [[noreturn]] void AssignError(const TPersistent* Source) const;
};
