// When the owner of a link must detach from its port, and when it only forgets it.
#include <gtest/gtest.h>

#include <string>

#include "port/CPort.h"

TEST(LinkedPortRemoved, DetachesOnlyFromItsOwnLivePort) {
    struct TCase {
        std::string Name;
        TOperation Operation;
        bool OtherComponent;
        bool PortDestroying;
        bool Detach;
        bool PortKept;
    };
    const TCase Cases[] = {
        {"insert notice", opInsert, false, false, false, true},
        {"another component removed", opRemove, true, false, false, true},
        {"own port removed", opRemove, false, false, true, true},
        {"own port in its destructor", opRemove, false, true, false, false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TComPort Port;
        TComPort Other;
        if (C.PortDestroying)
            Port.Destroying();
        TCustomComPort* Held = &Port;
        TComponent* About = C.OtherComponent ? static_cast<TComponent*>(&Other) : &Port;
        EXPECT_EQ(LinkedPortRemoved(About, C.Operation, Held), C.Detach);
        EXPECT_EQ(Held, C.PortKept ? &Port : nullptr);
    }
}
