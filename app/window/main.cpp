// The workbench: the main window, the About box and the repeat-period dialog.
//   tessal [--port NAME]
#include "app/window/About.h"
#include "app/window/Repeat_period.h"
#include "app/window/Tessalmain.h"
#include "controls/CPortSetup.h"
#include "controls/GuiSynchronize.h"
#include "framework/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>

#include <cstring>

int main(int argc, char** argv) {
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
