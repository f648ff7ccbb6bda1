#include "port/CPortLink.h"

#include "port/CPortComPort.h"

bool LinkedPortRemoved(TComponent* AComponent, TOperation Operation, TCustomComPort*& Port) {
    if (Operation != opRemove || AComponent == nullptr || AComponent != Port)
        return false;
    if (AComponent->GetComponentState().Contains(csDestroying)) {
        Port = nullptr;
        return false;
    }
    return true;
}
