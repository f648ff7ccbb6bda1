#include "platform/sync/PlatformError.h"

namespace {
thread_local std::int32_t lastError = 0;
}

std::int32_t LastPlatformError() {
    return lastError;
}

void SetLastPlatformError(std::int32_t error) {
    lastError = error;
}
