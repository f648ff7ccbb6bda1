// File -> "Record traffic..." and "Open capture...": the workbench's events written to a capture
// file while recording, and a capture fed back into the workbench, at once or at the pace it was
// recorded. A replay's outcomes reach the window without their port steps and timers: the events
// recorded stand for them. Received bytes that come meanwhile are not the replay's; the window
// drops them while Replaying().
//
// At once, the capture goes in slices of kSlice events per turn of the event loop, so the window
// stays responsive through a large file.
#pragma once

#include "app/core/Workbench.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TTrafficRecords : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlice = 2000;

    // apply: how the window applies an outcome of the workbench.
    TTrafficRecords(TWorkbench& bench, std::function<void(TWorkbenchOutcome)> apply,
                    QObject* parent = nullptr);
    ~TTrafficRecords() override;

    // Each returns the status text to show.
    std::string StartRecording(const std::string& path);
    std::string StopRecording();
    bool Recording() const { return Writer != nullptr; }

    std::string StartReplay(const std::string& path, bool atPace);
    void StopReplay();
    bool Replaying() const { return Reader != nullptr; }

signals:
    // The replay ended: its status text (the events replayed, or the capture's error).
    void ReplayEnded(const QString& status);

private:
    void ReplayStep();
    void EndReplay(const std::string& status);

    TWorkbench& Bench;
    std::function<void(TWorkbenchOutcome)> Apply;

    std::ofstream RecordFile;
    std::unique_ptr<TCaptureWriter> Writer;
    std::string RecordPath;

    std::ifstream ReplayFile;
    std::unique_ptr<TCaptureReader> Reader;
    std::optional<TCaptureRecord> Upcoming;
    bool AtPace = false;
    QElapsedTimer PaceClock;
    std::int64_t FirstMicros = 0;
    std::uint64_t Replayed = 0;
    QTimer ReplayTimer;
};
