#include "controls/GuiSynchronize.h"

#include <thread>

#include <QCoreApplication>
#include <QMetaObject>

#include "framework/Application.h"
#include "framework/Synchronize.h"

namespace {

void ServeQueue() {
    // Runs inside the toolkit's event handling, which an exception must not cross.
    try {
        CheckSynchronize(0);
    } catch (...) {
        Application->HandleException(nullptr);
    }
}

} // namespace

void InstallGuiSynchronize() {
    SetMainThreadID(std::this_thread::get_id());
    SetWakeMainThread([] {
        if (QCoreApplication* App = QCoreApplication::instance())
            QMetaObject::invokeMethod(App, &ServeQueue, Qt::QueuedConnection);
    });
    if (QCoreApplication* App = QCoreApplication::instance())
        QObject::connect(App, &QObject::destroyed, [] { SetWakeMainThread(nullptr); });
}
