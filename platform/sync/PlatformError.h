// The platform error number of the calling thread's last failed platform call (an errno value).
// Kept apart from errno so that library calls made after a failure cannot overwrite it before
// the caller (the port component) has turned it into an exception.
#pragma once

#include <cstdint>

std::int32_t LastPlatformError();
void SetLastPlatformError(std::int32_t error);
