#include "app/window/TrafficRecords.h"

TTrafficRecords::TTrafficRecords(TWorkbench& bench, std::function<void(TWorkbenchOutcome)> apply,
                                 QObject* parent)
    : QObject(parent), Bench(bench), Apply(std::move(apply)) {
    ReplayTimer.setSingleShot(true);
    connect(&ReplayTimer, &QTimer::timeout, this, &TTrafficRecords::ReplayStep);
}

TTrafficRecords::~TTrafficRecords() {
    StopRecording();
}

std::string TTrafficRecords::StartRecording(const std::string& path) {
    StopRecording();
    RecordFile.open(path, std::ios::binary | std::ios::trunc);
    if (!RecordFile) {
        RecordFile.clear();
        return "Cannot write " + path;
    }
    RecordPath = path;
    Writer = std::make_unique<TCaptureWriter>(RecordFile);
    Bench.SetRecorder(Writer.get());
    return "Recording the traffic to " + path;
}

std::string TTrafficRecords::StopRecording() {
    if (!Writer) {
        return "";
    }
    Bench.SetRecorder(nullptr);
    const bool written = Writer->Flush();
    Writer.reset();
    RecordFile.close();
    const bool closed = !RecordFile.fail();
    RecordFile.clear();
    return written && closed ? "Traffic recorded to " + RecordPath
                             : "Cannot write " + RecordPath + ": the capture is incomplete";
}

std::string TTrafficRecords::StartReplay(const std::string& path, bool atPace) {
    StopReplay();
    if (const std::string error = TCaptureReader::CheckFile(path); !error.empty()) {
        return error;
    }
    ReplayFile.open(path, std::ios::binary);
    if (!ReplayFile) {
        ReplayFile.clear();
        return "Cannot open " + path;
    }
    Reader = std::make_unique<TCaptureReader>(ReplayFile);
    AtPace = atPace;
    Replayed = 0;
    Upcoming.reset();
    PaceClock.start();
    ReplayTimer.start(0);
    return "Replaying " + path;
}

void TTrafficRecords::StopReplay() {
    ReplayTimer.stop();
    Reader.reset();
    Upcoming.reset();
    ReplayFile.close();
    ReplayFile.clear();
}

void TTrafficRecords::EndReplay(const std::string& status) {
    StopReplay();
    emit ReplayEnded(QString::fromStdString(status));
}

void TTrafficRecords::ReplayStep() {
    for (int n = 0; n < kSlice; ++n) {
        if (!Upcoming) {
            TCaptureRecord record;
            if (!Reader->Next(record)) {
                const std::string error = Reader->GetError();
                EndReplay(error.empty()
                              ? "Capture replayed: " + std::to_string(Replayed) + " events"
                              : error);
                return;
            }
            if (Replayed == 0) {
                FirstMicros = record.WallMicros;
            }
            Upcoming = std::move(record);
        }
        if (AtPace) {
            const std::int64_t due = (Upcoming->WallMicros - FirstMicros) / 1000;
            const std::int64_t now = PaceClock.elapsed();
            if (due > now) {
                ReplayTimer.start(static_cast<int>(std::min<std::int64_t>(due - now, 1000)));
                return;
            }
        }
        TWorkbenchOutcome out = Bench.Replay(*Upcoming);
        Upcoming.reset();
        ++Replayed;
        out.Port.clear();
        out.Timers.clear();
        Apply(std::move(out));
        if (!Reader) {
            return; // the outcome's handling stopped the replay
        }
    }
    ReplayTimer.start(0);
}
