// The main of a widget test folder: one QApplication whose event loop also serves the port's GUI
// queue, on the offscreen platform unless told otherwise (the build lists the tests without a
// display, and so may a developer's shell).
#pragma once

#include "controls/GuiSynchronize.h"

#include <QApplication>
#include <gtest/gtest.h>

inline int RunWidgetTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    InstallGuiSynchronize();
    return RUN_ALL_TESTS();
}
