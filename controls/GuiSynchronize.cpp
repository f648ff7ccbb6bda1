#include "controls/GuiSynchronize.h"

#include <thread>

#include <QCoreApplication>
#include <QMetaObject>

#include "framework/Synchronize.h"

void InstallGuiSynchronize() {
    SetMainThreadID(std::this_thread::get_id());
    SetWakeMainThread([] {
        if (QCoreApplication* App = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                App, [] { CheckSynchronize(0); }, Qt::QueuedConnection);
    });
    if (QCoreApplication* App = QCoreApplication::instance())
        QObject::connect(App, &QObject::destroyed, [] { SetWakeMainThread(nullptr); });
}
