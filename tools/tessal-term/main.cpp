// tessal-term [--port NAME] [--flow None|Hardware|Software]: a terminal window on a serial
// port. Without --port the port's set-up dialog asks for one.
#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

#include "TermWindow.h"
#include "controls/GuiSynchronize.h"
#include "framework/ProgramInfo.h"

namespace {

void PrintHelp() {
    std::printf("Usage: tessal-term [--port NAME] [--flow None|Hardware|Software]\n"
                "  or:  tessal-term --help | --version\n"
                "\n"
                "A terminal on a serial port. Without --port the port's set-up dialog asks for\n"
                "one.\n"
                "\n"
                "  --port NAME   the device to open, e.g. ttyUSB0\n"
                "  --flow TEXT   flow control: None, Hardware or Software\n"
                "  --help        print this help and exit\n"
                "  --version     print the version and exit\n");
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before any display is needed.
    if (AnswerHelpOrVersion(argc, argv, "tessal-term", PrintHelp)) {
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessal-term"));
    QApplication::setApplicationVersion(QString::fromLatin1(TessalVersion()));
    InstallGuiSynchronize();

    QCommandLineParser parser;
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
