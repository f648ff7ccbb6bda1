// Connects the framework's GUI-thread queue to the Qt event loop, so that port events and
// other calls handed to the GUI thread run there without polling.
#pragma once

// Call on the GUI thread once the QApplication exists and before any port is opened. Makes
// this thread the framework's GUI thread; every time work is queued for it, an event is posted
// to the application, whose handling serves the queue. Ports must be closed before the
// application object is destroyed.
void InstallGuiSynchronize();
