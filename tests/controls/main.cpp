// Widget tests run in one QApplication whose event loop also serves the port's GUI queue.
#include <gtest/gtest.h>

#include <QApplication>

#include "controls/GuiSynchronize.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The build lists the tests without a display, and so may a developer's shell.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    InstallGuiSynchronize();
    return RUN_ALL_TESTS();
}
