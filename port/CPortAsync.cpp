#include "port/CPortAsync.h"

void InitAsync(PAsync& AsyncPtr) {
    auto* A = new TAsync;
    try {
        A->Overlapped.Event = CreateSyncEvent(true, true);
    } catch (...) {
        delete A;
        throw;
    }
    AsyncPtr = A;
}

void DoneAsync(PAsync& AsyncPtr) {
    if (!AsyncPtr)
        return;
    delete[] AsyncPtr->Data;
    delete AsyncPtr;
    AsyncPtr = nullptr;
}
