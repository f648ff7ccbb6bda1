// One way of receiving from the slave end of a pty pair, as a user of that library would write
// it. A phase (a stream, an echo run, an idle wait) installs its sink with Expect before the far
// end sends anything, then Take returns once the sink has said the phase is over.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/PtyBench.h"

namespace Peers {

// Gets the bytes just received; true when the phase is over.
using TSink = std::function<bool(const std::uint8_t* B, std::size_t N)>;

class TReceiver {
public:
    virtual ~TReceiver() = default;
    // Sink stays alive until Take has returned; it may run on a thread of the library's own.
    void Expect(const TSink& Sink) { FSink.store(&Sink, std::memory_order_release); }
    virtual void Take() = 0;
    // Sends bytes back to the far end; called from within the sink.
    virtual void Send(const std::uint8_t* B, std::size_t N) = 0;

    // Handings to the sink so far; read between phases.
    std::uint64_t Deliveries() const { return FDeliveries; }

protected:
    bool Deliver(const std::uint8_t* B, std::size_t N) {
        ++FDeliveries;
        return (*FSink.load(std::memory_order_acquire))(B, N);
    }

private:
    std::atomic<const TSink*> FSink{nullptr};
    std::uint64_t FDeliveries = 0;
};

// A receiver that asks for bytes: a blocking read, or a wait followed by a read.
class TPullReceiver : public TReceiver {
public:
    void Take() override {
        for (;;) {
            const std::size_t N = ReadSome(FBuf.data(), FBuf.size());
            if (Deliver(FBuf.data(), N))
                return;
        }
    }

protected:
    // Waits for bytes and returns at least one.
    virtual std::size_t ReadSome(std::uint8_t* Buf, std::size_t Size) = 0;

private:
    std::vector<std::uint8_t> FBuf = std::vector<std::uint8_t>(65536);
};

struct TCase {
    std::string Name;
    std::function<std::unique_ptr<TReceiver>(PtyBench::TPty&)> Open;
};

// The plain poll()/read() loop first: every other figure is given as a ratio to it.
std::vector<TCase> TessalCases();
std::vector<TCase> LibSerialPortCases();
std::vector<TCase> QtSerialPortCases();

} // namespace Peers
