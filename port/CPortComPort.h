// The serial port object.
//
// Concurrency contract:
// - Open, Close, the setters and the apply operations run in the thread that owns the port
//   (the GUI thread in the application). The port takes no lock.
// - While open with events selected, one event thread (TComThread) waits on the device.
//   Handlers and link slots run in the GUI thread under smThreadSync (the event thread waits
//   for the whole batch) and smWindowSync (the event thread does not wait), and in the event
//   thread under smNone (the owner must then not change links or settings meanwhile).
// - A handler dispatched under smThreadSync or smNone cannot close its port (nor change Port):
//   the close would wait for the event thread, which waits for that handler. Such a close
//   raises EComPort instead. Under smWindowSync the event thread does not wait, so it works.
// - An exception leaving a handler is handed to the application exception handler; the event
//   thread carries on.
// - A device that vanishes (unplugged, hung up, the far end of a pty closed) is told once through
//   OnDeviceLost, after the bytes that came before it were dispatched (evRxChar first); the event
//   thread then waits on the device no more. Telling of it needs an event thread, so at least one
//   event selected. The owner closes the port, which works on a lost device. Under smThreadSync
//   the loss is handed to the GUI thread without the event thread waiting, so unlike the other
//   handlers OnDeviceLost may close its port there; under smNone it runs in the event thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/Component.h"
#include "framework/MessageWindow.h"
#include "framework/ThreadPriority.h"
#include "port/CPortAsync.h"
#include "port/CPortError.h"
#include "port/CPortLink.h"
#include "port/CPortSettings.h"
#include "port/CPortTypes.h"

class TComThread;
class TIniFile;
class TRegistry;

// The port message: sent to the hidden window with one event's platform bit.
inline constexpr std::uint32_t CM_COMPORT = WM_USER + 1;
// The device is lost: sent to the hidden window with the errno of the loss.
inline constexpr std::uint32_t CM_COMPORTLOST = WM_USER + 2;

// Status bits of the device, member n at bit n of the platform's status word.
enum TComStatusFlag : std::uint8_t {
    sfCTSHold,
    sfDSRHold,
    sfRLSDHold,
    sfXOFFHold,
    sfXOFFSent,
    sfEof,
    sfTxim
};
using TComStatusFlags = TSet<TComStatusFlag, std::uint8_t>;

class TCustomComPort : public TComponent {
public:
    explicit TCustomComPort(TComponent* AOwner = nullptr);
    ~TCustomComPort() override;

    // --- settings ---
    bool GetConnected() const { return FConnected; }
    void SetConnected(bool Value);
    TBaudRate GetBaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate Value);
    std::int32_t GetCustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(std::int32_t Value);
    const std::string& GetPort() const { return FPort; }
    void SetPort(const std::string& Value);
    TStopBits GetStopBits() const { return FStopBits; }
    void SetStopBits(TStopBits Value);
    TDataBits GetDataBits() const { return FDataBits; }
    void SetDataBits(TDataBits Value);
    bool GetDiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool Value);
    std::uint8_t GetEventChar() const { return FEventChar; }
    void SetEventChar(std::uint8_t Value);
    TComEvents GetEvents() const { return FEvents; }
    void SetEvents(TComEvents Value);
    TComBuffer& GetBuffer() { return *FBuffer; }
    const TComBuffer& GetBuffer() const { return *FBuffer; }
    void SetBuffer(const TComBuffer& Value);
    TComParity& GetParity() { return *FParity; }
    const TComParity& GetParity() const { return *FParity; }
    void SetParity(const TComParity& Value);
    TComTimeouts& GetTimeouts() { return *FTimeouts; }
    const TComTimeouts& GetTimeouts() const { return *FTimeouts; }
    void SetTimeouts(const TComTimeouts& Value);
    TComFlowControl& GetFlowControl() { return *FFlowControl; }
    const TComFlowControl& GetFlowControl() const { return *FFlowControl; }
    void SetFlowControl(const TComFlowControl& Value);
    TSyncMethod GetSyncMethod() const { return FSyncMethod; }
    void SetSyncMethod(TSyncMethod Value);
    TStoredProps GetStoredProps() const { return FStoredProps; }
    void SetStoredProps(TStoredProps Value) { FStoredProps = Value; }
    bool GetTriggersOnRxChar() const { return FTriggersOnRxChar && !FHasLink; }
    void SetTriggersOnRxChar(bool Value);
    TThreadPriority GetEventThreadPriority() const { return FEventThreadPriority; }
    void SetEventThreadPriority(TThreadPriority Value);
    THandle GetHandle() const { return FHandle; }

    void BeginUpdate();
    void EndUpdate();

    // Defined with the settings store.
    void StoreSettings(TStoreType StoreType, const std::string& StoreTo);
    void LoadSettings(TStoreType StoreType, const std::string& LoadFrom);

    // Opens the setup dialog through the hook the controls layer installs; raises EComPort
    // while no hook is installed.
    void ShowSetupDialog();
    using TSetupDialogHook = std::function<void(TCustomComPort* ComPort)>;
    static void SetSetupDialogHook(TSetupDialogHook Hook);

    void Open();
    void Close();

    // --- data transfer ---
    std::int32_t WriteAsync(const void* Buffer, std::int32_t Count, PAsync& AsyncPtr);
    std::int32_t WriteStrAsync(const std::string& Str, PAsync& AsyncPtr);
    std::int32_t Write(const void* Buffer, std::int32_t Count);
    std::int32_t WriteStr(const std::string& Str);
    std::int32_t ReadAsync(void* Buffer, std::int32_t Count, PAsync& AsyncPtr);
    std::int32_t ReadStrAsync(std::string& Str, std::int32_t Count, PAsync& AsyncPtr);
    std::int32_t Read(void* Buffer, std::int32_t Count);
    std::int32_t ReadStr(std::string& Str, std::int32_t Count);
    std::int32_t WaitForAsync(PAsync& AsyncPtr);
    bool IsAsyncCompleted(PAsync AsyncPtr);
    void AbortAllAsync();
    void ClearBuffer(bool Input, bool Output);
    std::int32_t InputCount();
    std::int32_t OutputCount();
    TComStatusFlags StateFlags();
    TComErrors LastErrors();
    TComSignals Signals();
    void SetBreak(bool OnOff);
    void SetDTR(bool OnOff);
    void SetRTS(bool OnOff);
    void SetXonXoff(bool OnOff);
    void TransmitChar(std::uint8_t Ch);
    void WaitForEvent(TComEvents& Events, TEventHandle StopEvent, std::int32_t Timeout);

    // --- event times ---
    // In a handler or link slot of an event the event thread dispatched: when that thread's wait
    // returned with the event, so a dispatch that runs late does not make the event late. For
    // evRxChar, the wake that brought the first of the bytes not yet read: a read takes that
    // mark, and bytes a read leaves behind get the next wake's time. The zero time elsewhere.
    TComClock::time_point GetEventTime() const { return FEventTime; }

    // --- links ---
    void RegisterLink(TComLink* Link);
    void UnRegisterLink(TComLink* Link);
    bool HasLink() const;
    void SendSignalToLink(TComLinkEvent Event, bool OnOff);
    void NotifyLink(TComLinkEvent Event);
    void TxNotifyLink(const void* Buffer, std::int32_t Count);

    // --- event entries, called by the dispatch ---
    void CallError();
    void CallRxChar();
    void CallTxEmpty();
    void CallBreak();
    void CallRing();
    void CallCTSChange();
    void CallDSRChange();
    void CallRxFlag();
    void CallRLSDChange();
    void CallRx80Full();
    // Does nothing unless the port is open and not closing: a loss handed on is stale then.
    void CallDeviceLost(std::int32_t Errno);
    void CallBeforeOpen();
    void CallAfterOpen();
    void CallBeforeClose();
    void CallAfterClose();
    void CheckSignals(bool Open);
    // The hidden window's message procedure under smWindowSync.
    void WindowMethod(TMessage& Message);

    // --- handler slots ---
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnRx80Full;
    TDeviceLostEvent OnDeviceLost;

    void Loaded() override;

protected:
    // Defined with the settings store; the registry object comes with its settings key open.
    virtual void StoreRegistry(TRegistry* Reg);
    virtual void StoreIniFile(TIniFile* IniFile);
    virtual void LoadRegistry(TRegistry* Reg);
    virtual void LoadIniFile(TIniFile* IniFile);

    virtual void CreateHandle();
    virtual void DestroyHandle();
    // For an overriding CreateHandle/DestroyHandle.
    void SetHandle(THandle Value) { FHandle = Value; }
    virtual void SetupComPort();

    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(std::int32_t Count);
    virtual void DoRxBuf(const void* Buffer, std::int32_t Count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool OnOff);
    virtual void DoDSRChange(bool OnOff);
    virtual void DoError(TComErrors Errors);
    virtual void DoRLSDChange(bool OnOff);
    virtual void DoRx80Full();
    virtual void DoDeviceLost(std::int32_t Errno);

    virtual void ApplyDCB();
    virtual void ApplyTimeouts();
    virtual void ApplyBuffer();

    // Connected, update count 0, neither loading nor designing.
    bool CanApply() const;
    bool IsLoadingOrDesigning() const;

private:
    friend class TComSettingGroup;
    friend class TComThread;
    friend void CallEventEntry(TCustomComPort& Port, TComEvent Event, TComClock::time_point Time);

    template <typename T>
    void SetDCBField(T& Field, T Value);
    template <typename T>
    void SetWhileClosed(T& Field, T Value);
    void DestroyEventThread();
    void DrainOutput();
    // Opening's step 6: the hidden window and the event thread when events are selected.
    void CreateEventThread();
    [[noreturn]] void RaiseLast(std::int32_t Code) const;
    // WithOutput asks the device's own output queue too, which costs a system call on a tty.
    void ReadErrorState(std::uint32_t* Errors, COMSTAT* Stat, bool WithOutput);
    // The status of a count query; raises code 10 once the device is gone.
    COMSTAT ReadStatus(bool WithOutput = true);
    // The bytes the driver has queued, without asking the device again: after an event wait
    // (whose service took in what had come) and after a read, one device service per batch.
    std::int32_t QueuedInputCount();
    void Escape(std::uint32_t Function);
    // Reads the queued bytes once for OnRxBuf and the links; returns the count read.
    void DeliverRxBuf(std::int32_t& Count);
    // The event thread's wake at Time brought received bytes: the first since the last read
    // marks them.
    void NoteRxWake(TComClock::time_point Time);

    TComThread* FEventThread = nullptr;
    bool FThreadCreated = false;
    // Close is under way: a handler it runs, or a message it serves meanwhile, may call Close
    // again; that call, and the rest of a window-dispatched batch, find nothing to do.
    bool FClosing = false;
    // Under smWindowSync: a window-dispatched handler runs, and the events that arrived while
    // it served the GUI queue, each once in arrival order, to run after it has returned.
    bool FWindowDispatching = false;
    std::vector<std::pair<TComEvent, TComClock::time_point>> FDeferredEvents;
    std::int32_t FDeferredLoss = 0; // the loss's errno, told after the deferred events
    // Lost-byte errors (input overflow, overrun) a count query cleared on the device, kept for
    // the next LastErrors: dropped bytes are never left untold because someone asked how many
    // were waiting. Count queries also run in the event thread under smNone.
    std::atomic<std::uint32_t> FUnreadErrors{0};
    THandle FHandle;
    HWND FWindow = 0;
    std::int32_t FUpdateCount = 0;
    std::vector<TComLink*> FLinks;
    // The time of the event whose entry runs, on the thread that runs it.
    TComClock::time_point FEventTime{};
    // The event thread's first wake with received bytes since the last read, in clock ticks;
    // 0 for none. Set by the event thread, taken by a read on any thread.
    std::atomic<TComClock::rep> FRxSince{0};
    // Received batches are read into this, kept for the next; FRxBytesLent while one is in use.
    std::vector<std::uint8_t> FRxBytes;
    bool FRxBytesLent = false;
    bool FTriggersOnRxChar = true;
    TThreadPriority FEventThreadPriority = tpNormal;
    bool FHasLink = false;
    bool FConnected = false;
    TBaudRate FBaudRate = br9600;
    std::int32_t FCustomBaudRate = 9600;
    std::string FPort = "COM1";
    TStopBits FStopBits = sbOneStopBit;
    TDataBits FDataBits = dbEight;
    bool FDiscardNull = false;
    std::uint8_t FEventChar = 0;
    TComEvents FEvents = AllComEvents;
    TComBuffer* FBuffer = nullptr;
    TComParity* FParity = nullptr;
    TComTimeouts* FTimeouts = nullptr;
    TComFlowControl* FFlowControl = nullptr;
    TSyncMethod FSyncMethod = smThreadSync;
    TStoredProps FStoredProps{spBasic};
};

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};
