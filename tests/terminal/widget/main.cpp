// Widget tests need a QApplication, on the offscreen platform unless told otherwise.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Also when the test list is read at build time, outside ctest.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A steady caret: pictures of the screen do not depend on the blink phase.
    QApplication::setCursorFlashTime(0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
