// The end-to-end tests run the window in one QApplication whose event loop serves the port.
#include "controls/GuiSynchronize.h"

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    InstallGuiSynchronize();
    return RUN_ALL_TESTS();
}
