// The window benchmarks run offscreen unless QT_QPA_PLATFORM names a platform.
#pragma once

#include <QtGlobal>

inline void PreferOffscreen() {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}
