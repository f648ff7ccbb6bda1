// tessal-term [--port NAME] [--flow None|Hardware|Software]: a terminal window on a serial
// port. Without --port the port's set-up dialog asks for one.
#include <QApplication>
#include <QCommandLineParser>

#include "TermWindow.h"
#include "controls/GuiSynchronize.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessal-term"));
    QApplication::setApplicationVersion(QStringLiteral("3.20.00"));
    InstallGuiSynchronize();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A terminal on a serial port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("The device to open, e.g. ttyUSB0."),
                                        QStringLiteral("NAME"));
    parser.addOption(portOption);
    const QCommandLineOption flowOption(QStringLiteral("flow"),
                                        QStringLiteral("Flow control: None, Hardware or Software."),
                                        QStringLiteral("TEXT"));
    parser.addOption(flowOption);
    parser.process(app);

    TTermWindow window(parser.value(portOption), parser.value(flowOption));
    window.show();
    return QApplication::exec();
}
