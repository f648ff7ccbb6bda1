#include "platform/sync/SyncEvent.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include "platform/sync/PlatformError.h"

TSyncEvent::TSyncEvent(bool ManualReset, bool InitialState)
    : manual_(ManualReset), signalled_(InitialState) {
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

TSyncEvent::~TSyncEvent() {
    ::close(fd_);
}

void TSyncEvent::Set() {
    signalled_.store(true, std::memory_order_seq_cst);
    // Pairs with the sleeper's increment-then-check in WaitForSyncEvents (store/load fences): a
    // sleeper not counted yet will see the flag, so with none counted there is nobody to wake.
    if (sleepers_.load(std::memory_order_seq_cst) == 0)
        return;
    std::lock_guard lock(mutex_);
    // A Reset since the store above leaves the descriptor alone: armed means signalled.
    if (!armed_ && sleepers_.load(std::memory_order_seq_cst) > 0 &&
        signalled_.load(std::memory_order_seq_cst)) {
        const std::uint64_t one = 1;
        if (::write(fd_, &one, sizeof one) != sizeof one)
            throw std::system_error(errno, std::generic_category(), "eventfd write");
        armed_ = true;
    }
}

void TSyncEvent::Reset() {
    std::lock_guard lock(mutex_);
    signalled_.store(false, std::memory_order_seq_cst);
    Disarm();
}

void TSyncEvent::Disarm() {
    if (!armed_)
        return;
    std::uint64_t value = 0;
    if (::read(fd_, &value, sizeof value) != sizeof value)
        throw std::system_error(errno, std::generic_category(), "eventfd read");
    armed_ = false;
}

bool TSyncEvent::IsSet() const {
    return signalled_.load(std::memory_order_acquire);
}

bool TSyncEvent::TryAcquire() {
    if (!signalled_.load(std::memory_order_acquire))
        return false;
    if (manual_)
        return true;
    std::lock_guard lock(mutex_);
    if (!signalled_.load(std::memory_order_relaxed))
        return false;
    signalled_.store(false, std::memory_order_relaxed);
    Disarm();
    return true;
}

void TSyncEvent::AttachSource(std::shared_ptr<TWaitSource> Source) {
    std::lock_guard lock(mutex_);
    source_ = std::move(Source);
    hasSource_.store(source_ != nullptr, std::memory_order_release);
}

void TSyncEvent::DetachSource(const TWaitSource* Source) {
    std::lock_guard lock(mutex_);
    if (source_.get() == Source) {
        source_.reset();
        hasSource_.store(false, std::memory_order_release);
    }
}

std::shared_ptr<TWaitSource> TSyncEvent::Source() const {
    // Most events never carry one: no lock for them.
    if (!hasSource_.load(std::memory_order_acquire))
        return nullptr;
    std::lock_guard lock(mutex_);
    return source_;
}

TEventHandle CreateSyncEvent(bool ManualReset, bool InitialState) {
    return std::make_shared<TSyncEvent>(ManualReset, InitialState);
}

namespace {

timespec ToTimespec(TSyncClock::duration d) {
    if (d < TSyncClock::duration::zero())
        d = TSyncClock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

} // namespace

std::uint32_t WaitForSyncEvents(const TEventHandle* Events, std::size_t Count,
                                std::uint32_t TimeoutMs) {
    if (Events == nullptr || Count == 0 ||
        std::any_of(Events, Events + Count, [](const TEventHandle& e) { return !e; })) {
        SetLastPlatformError(EINVAL);
        return SyncWaitFailed;
    }
    const bool infinite = TimeoutMs == SyncInfinite;
    const auto deadline = TSyncClock::now() + std::chrono::milliseconds(infinite ? 0 : TimeoutMs);

    // Kept per thread so that a wait allocates nothing; waits never nest.
    thread_local std::vector<pollfd> fds;
    thread_local std::vector<std::shared_ptr<TWaitSource>> sources;
    thread_local std::vector<std::size_t> starts;
    struct TRelease {
        ~TRelease() { sources.clear(); } // do not keep a source alive past the wait
    } release;
    for (;;) {
        for (std::size_t i = 0; i < Count; ++i)
            if (Events[i]->TryAcquire())
                return static_cast<std::uint32_t>(i);

        fds.clear();
        sources.clear();
        starts.clear();
        for (std::size_t i = 0; i < Count; ++i) {
            fds.push_back(pollfd{Events[i]->fd_, POLLIN, 0});
            auto source = Events[i]->Source();
            if (source && std::find(sources.begin(), sources.end(), source) == sources.end())
                sources.push_back(std::move(source));
        }
        auto wake = infinite ? TSyncClock::time_point::max() : deadline;
        for (auto& source : sources) {
            starts.push_back(fds.size());
            source->PollBegin(fds, wake);
        }
        starts.push_back(fds.size());

        for (std::size_t i = 0; i < Count; ++i)
            Events[i]->sleepers_.fetch_add(1, std::memory_order_seq_cst);
        bool ready = false;
        for (std::size_t i = 0; i < Count; ++i)
            ready = ready || Events[i]->signalled_.load(std::memory_order_seq_cst);
        int rc = 0;
        int error = 0;
        if (!ready) {
            timespec ts{};
            const timespec* tsp = nullptr;
            if (wake != TSyncClock::time_point::max()) {
                ts = ToTimespec(wake - TSyncClock::now());
                tsp = &ts;
            }
            rc = ::ppoll(fds.data(), fds.size(), tsp, nullptr);
            if (rc < 0)
                error = errno;
        }
        for (std::size_t i = 0; i < Count; ++i)
            Events[i]->sleepers_.fetch_sub(1, std::memory_order_seq_cst);
        for (std::size_t k = 0; k < sources.size(); ++k)
            sources[k]->PollEnd(fds.data() + starts[k], starts[k + 1] - starts[k]);

        if (rc < 0 && error != EINTR) {
            SetLastPlatformError(error);
            return SyncWaitFailed;
        }
        if (!infinite && TSyncClock::now() >= deadline) {
            for (std::size_t i = 0; i < Count; ++i)
                if (Events[i]->TryAcquire())
                    return static_cast<std::uint32_t>(i);
            return SyncWaitTimeout;
        }
    }
}

std::uint32_t WaitForSyncEvent(const TEventHandle& Event, std::uint32_t TimeoutMs) {
    return WaitForSyncEvents(&Event, 1, TimeoutMs);
}

void SyncSleep(std::uint32_t Ms) {
    if (Ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}
