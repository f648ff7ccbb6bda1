// The workbench: the main window, the About box and the repeat-period dialog.
//   tessal [--port NAME] | --help | --version
#include "app/window/About.h"
#include "app/window/Repeat_period.h"
#include "app/window/Tessalmain.h"
#include "controls/CPortSetup.h"
#include "controls/GuiSynchronize.h"
#include "framework/Application.h"
#include "framework/ProgramInfo.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>

#include "app/core/ExampleFiles.h"
#include "app/core/SettingsFile.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintHelp() {
    std::string dir;
    try {
        dir = ExecutableDir();
    } catch (const std::exception&) {
        // Without its own directory the example is looked for in the source tree only.
    }
    const std::string example = ExampleCommandFile(dir);
    std::printf(
        "Usage: tessal [--port NAME]\n"
        "  or:  tessal --help | --version\n"
        "\n"
        "The frame workbench: load a command-definition file (File -> Open, Ctrl+O), pick a\n"
        "command, type the address and parameters, and send the frame; the answers are listed\n"
        "in the grid.\n"
        "\n"
        "  --port NAME   the serial port to use instead of the stored one (ttyUSB0,\n"
        "                /dev/serial/by-id/..., any path, or a port on a serial server:\n"
        "                rfc2217://HOST:PORT, socket://HOST:PORT)\n"
        "  --help        print this help and exit\n"
        "  --version     print the version and exit\n"
        "\n"
        "Settings: the port in the settings hive (TESSAL_REGISTRY_DIR, else ~/.config), the last\n"
        "command file in tessal.ini beside the program.\n"
        "Example command file: %s\n",
        example.empty() ? "(not found; see resources/example.tsl in the sources)"
                        : example.c_str());
}

} // namespace

int main(int argc, char** argv) {
    // Answered before any display is needed.
    if (AnswerHelpOrVersion(argc, argv, "tessal", PrintHelp)) {
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessal");
    Application->SetTitle("Tessal");
    InstallGuiSynchronize();
    InstallComSetupDialog();
    // The standard exception display: a message box on the GUI thread.
    Application->OnException = [](TObject*, const std::exception_ptr& error) {
        QString text;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            text = QString::fromLocal8Bit(e.what());
        } catch (...) {
            text = "Unknown error";
        }
        QMetaObject::invokeMethod(
            qApp, [text] { QMessageBox::critical(nullptr, "Tessal", text); }, Qt::QueuedConnection);
    };

    TTessalOptions options;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0) {
            options.PortName = argv[i + 1];
        }
    }
    try {
        TTessalForm form(options);
        TAboutForm about(&form);
        TSendDelayForm sendDelay(&form);
        form.SetDialogs(&about, &sendDelay);
        form.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Tessal", QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
