// One open device: the receive queue, pending operations, device events and the pump that
// moves bytes between the backend and them. All state is guarded by one mutex; the pump runs
// in whichever thread waits on one of the device's completion events (PollBegin/PollEnd) or
// asks for the device's state, so no thread of the driver's own exists.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/serial/ByteRing.h"
#include "platform/serial/SerialBackend.h"
#include "platform/serial/Timeouts.h"

class TSerialDevice : public TWaitSource, public std::enable_shared_from_this<TSerialDevice> {
public:
    explicit TSerialDevice(std::unique_ptr<TSerialBackend> Backend);
    ~TSerialDevice() override;

    // The bool operations follow SerialDriver.h and set the platform error on failure.
    bool Init();
    void Close();
    bool SetState(const DCB& State);
    bool GetState(DCB& State);
    bool SetTimeouts(const COMMTIMEOUTS& T);
    bool GetTimeouts(COMMTIMEOUTS& T);
    bool SetQueueSizes(std::uint32_t In, std::uint32_t Out);
    bool GetQueueSizes(std::uint32_t& In, std::uint32_t& Out);
    bool Read(void* Buffer, std::uint32_t Count, std::uint32_t* Transferred, OVERLAPPED* Ov);
    bool Write(const void* Buffer, std::uint32_t Count, std::uint32_t* Transferred, OVERLAPPED* Ov);
    bool Result(OVERLAPPED* Ov, std::uint32_t* Transferred, bool Wait);
    bool SetMask(std::uint32_t Mask);
    bool GetMask(std::uint32_t& Mask);
    bool WaitEvent(std::uint32_t* Mask, OVERLAPPED* Ov);
    bool Purge(std::uint32_t Flags);
    bool ClearError(std::uint32_t* Errors, COMSTAT* Stat, bool WithOutput);
    bool InputCount(std::uint32_t& Count);
    bool ModemStatus(std::uint32_t& Status);
    bool Escape(std::uint32_t Function);
    bool TransmitChar(std::uint8_t Ch);
    bool Loss(std::int32_t& Error);

    void PollBegin(std::vector<pollfd>& Fds, TSyncClock::time_point& Deadline) override;
    void PollEnd(const pollfd* Fds, std::size_t Count) override;

private:
    static constexpr std::size_t ChunkBytes = 65536; // most bytes moved by one backend call
    static constexpr std::uint32_t MaxQueueBytes = 16u << 20;

    enum TOpKind : std::uint8_t { opRead, opWrite, opWait };
    struct TOp {
        TOpKind Kind;
        std::uint64_t Id = 0;
        TEventHandle Event;
        std::uint8_t* In = nullptr;
        const std::uint8_t* Out = nullptr;
        std::uint32_t* Mask = nullptr;
        std::uint32_t Count = 0;
        std::uint32_t Done = 0;
        bool Complete = false;
        bool Current = false;  // a write that has reached the head of the queue
        bool Attached = false; // its event carries the device as a wait source
        int Error = 0;
        TReadRule Rule;
        TTimePoint LastByte{};
        TTimePoint Deadline = NoDeadline;
    };
    using TOpPtr = std::shared_ptr<TOp>;

    bool Fail(int error);
    bool CheckOpen();
    // A backend call failed with errno; a vanished device is marked lost on the way.
    bool DeviceFailed();
    template <typename Body>
    bool WhenOpen(Body body) {
        std::lock_guard lock(mutex_);
        return CheckOpen() && body();
    }
    // Takes the record for a new operation, dropping a completed result it still names.
    bool Adopt(OVERLAPPED* Ov);
    bool Transfer(TOpKind Kind, std::uint8_t* In, const std::uint8_t* Out, std::uint32_t Count,
                  std::uint32_t* Transferred, OVERLAPPED* Ov);
    bool Launch(TOpPtr Op, OVERLAPPED* Ov, std::uint32_t* Transferred);
    // A read or write that can end at once without an operation record or a service.
    bool ReadAtOnce(std::uint8_t* In, std::uint32_t Count);
    bool WriteAtOnce(const std::uint8_t* Out, std::uint32_t Count, std::uint32_t& Done);
    // Operation records are reused: one allocation less per read or write.
    TOpPtr NewOp(TOpKind Kind);
    void Recycle(TOpPtr Op);
    bool Refuse(OVERLAPPED* Ov, int Error);
    std::vector<TOpPtr>::iterator FindOp(std::uint64_t Id);
    void DropOp(std::vector<TOpPtr>::iterator It);
    void Complete(TOp& Op, int Error);
    void CompleteAll(std::deque<TOpPtr>& Ops, int Error);
    void Service(TTimePoint Now, bool Input, short Revents);
    void ReadInput(TTimePoint Now);
    std::uint32_t Filter(std::uint8_t* Data, std::uint8_t* Flags, std::uint32_t N, bool AnyFlags);
    // InQueue: Data was received into the queue's free space (ByteRing::Tail).
    void Deliver(std::uint8_t* Data, std::uint32_t N, TTimePoint Now, TOp* Direct, bool InQueue);
    void ServeReads(TTimePoint Now);
    void ServeWrites(TTimePoint Now);
    void CheckTxEmpty(TTimePoint Now);
    void CheckCounters();
    void CompleteWait();
    void Raise(std::uint32_t Events) { history_ |= Events & mask_; }
    // After bytes left the queue: re-arm the 80 % mark, send XON when it has drained enough.
    void QueueDrained();
    void SendFlowChar(std::uint8_t Ch);
    // Input flow control at the record's limits: XOFF/XON and the handshake lines.
    void StopInput(bool Stop);
    // Error: the errno that told of the loss (EIO for a hang-up).
    void MarkLost(int Error);
    bool InputFlowControl() const;
    bool WantInput() const;
    bool CtsHeld();
    bool DsrHeld();
    TTimePoint NextDeadline() const;

    std::unique_ptr<TSerialBackend> backend_;
    std::vector<std::uint8_t> scratch_, flags_; // one pump at a time: used under mutex_
    std::mutex mutex_;
    int pollers_ = 0; // threads between PollBegin and PollEnd: the descriptor is in use
    bool closed_ = false;
    bool lost_ = false;
    int lostError_ = 0;

    DCB dcb_;
    COMMTIMEOUTS timeouts_;
    std::uint32_t outSize_ = 4096;
    TByteRing queue_{4096};
    bool rx80Armed_ = true;

    std::uint32_t mask_ = 0;
    std::uint32_t history_ = 0;
    std::uint32_t errors_ = 0;
    bool hasCounters_ = false;
    TLineCounters counters_;

    std::uint64_t nextId_ = 1;
    std::vector<TOpPtr> ops_; // outstanding, or completed and not yet collected
    TOpPtr spare_;
    std::deque<TOpPtr> reads_;
    std::deque<TOpPtr> writes_;
    TOpPtr wait_;

    bool outputBlocked_ = false; // the backend refused bytes; wait for it to take more
    bool txBusy_ = false;        // bytes went out since the last transmit-empty
    TTimePoint txCheckAt_ = NoDeadline;
    bool priorityPending_ = false;
    std::uint8_t priorityChar_ = 0;
    bool rtsToggleOn_ = false;
    bool xoffHold_ = false;
    bool inputStopped_ = false; // input flow control holds the peer back
    bool xoffSent_ = false;     // ... and told it so with XOFF
    int flowCharPending_ = -1;
};
