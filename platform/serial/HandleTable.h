// Open handles and what they name, found without a lock: every call of the driver looks its
// handle up, so a look-up is one atomic load and one compare-exchange.
//
// A fixed table of slots. A slot's word holds its generation, an open bit and the number of
// callers using it right now (pins). A handle names a slot and a generation; the generation moves
// on when the slot is freed, so a stale handle never reaches the slot's next occupant. Closing
// clears the open bit (no new pins), lets the caller wake whoever is blocked inside, waits for the
// pins to go and only then lets go of the item: nobody ever uses a freed one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

template <typename T>
class THandleTable {
    struct alignas(64) TSlot {
        std::atomic<std::uint64_t> Word{0};
        std::shared_ptr<T> Item;
    };

public:
    static constexpr std::size_t Slots = 4096; // more than the descriptors a process may hold

    // A pinned item; the slot is not freed while one exists.
    class TRef {
    public:
        TRef() = default;
        TRef(TRef&& Other) noexcept : table_(Other.table_), slot_(Other.slot_) {
            Other.slot_ = nullptr;
        }
        TRef(const TRef&) = delete;
        TRef& operator=(const TRef&) = delete;
        TRef& operator=(TRef&&) = delete;
        ~TRef() {
            if (slot_)
                table_->Unpin(*slot_);
        }
        explicit operator bool() const { return slot_ != nullptr; }
        T* operator->() const { return slot_->Item.get(); }
        T& operator*() const { return *slot_->Item; }

    private:
        friend class THandleTable;
        TRef(const THandleTable* Table, TSlot* Slot) : table_(Table), slot_(Slot) {}
        const THandleTable* table_ = nullptr;
        TSlot* slot_ = nullptr;
    };

    // A handle > 0, or 0 when every slot is taken.
    std::int64_t Add(std::shared_ptr<T> Item) {
        std::lock_guard lock(freeMutex_);
        std::size_t index = 0;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
        } else if (used_ < Slots) {
            index = used_++;
        } else {
            return 0;
        }
        TSlot& slot = slots_[index];
        std::uint64_t generation = slot.Word.load(std::memory_order_relaxed) >> GenShift;
        if (generation == 0)
            generation = 1;
        slot.Item = std::move(Item);
        slot.Word.store((generation << GenShift) | OpenBit, std::memory_order_release);
        return static_cast<std::int64_t>((generation << IndexBits) | index);
    }

    // Empty when the handle names nothing open.
    TRef Find(std::int64_t Handle) const {
        TSlot* slot = SlotOf(Handle);
        if (!slot)
            return {};
        const std::uint64_t generation = static_cast<std::uint64_t>(Handle) >> IndexBits;
        std::uint64_t word = slot->Word.load(std::memory_order_acquire);
        for (;;) {
            if ((word >> GenShift) != generation || !(word & OpenBit))
                return {};
            if (slot->Word.compare_exchange_weak(word, word + 1, std::memory_order_acquire,
                                                 std::memory_order_acquire))
                return TRef(this, slot);
        }
    }

    // Takes the item out of the table: Find fails from now on. Closing(Item) runs while callers
    // may still use the item (it must end whatever keeps them inside); once they have let go,
    // the item is handed back. Empty when the handle named nothing open.
    template <typename TClosing>
    std::shared_ptr<T> Remove(std::int64_t Handle, TClosing Closing) {
        TSlot* slot = SlotOf(Handle);
        if (!slot)
            return nullptr;
        const std::uint64_t generation = static_cast<std::uint64_t>(Handle) >> IndexBits;
        std::uint64_t word = slot->Word.load(std::memory_order_acquire);
        do {
            if ((word >> GenShift) != generation || !(word & OpenBit))
                return nullptr;
        } while (!slot->Word.compare_exchange_weak(word, word & ~OpenBit, std::memory_order_acq_rel,
                                                   std::memory_order_acquire));
        // Only this caller got past the exchange: the item stays put until the slot is freed.
        Closing(*slot->Item);
        {
            std::unique_lock lock(pinsMutex_);
            pinsGone_.wait(
                lock, [&] { return (slot->Word.load(std::memory_order_acquire) & PinMask) == 0; });
        }
        std::shared_ptr<T> item = std::move(slot->Item);
        std::lock_guard lock(freeMutex_);
        slot->Word.store((generation + 1) << GenShift, std::memory_order_release);
        free_.push_back(static_cast<std::size_t>(slot - slots_.get()));
        return item;
    }

private:
    static constexpr unsigned IndexBits = 12;
    static_assert((std::size_t{1} << IndexBits) == Slots);
    static constexpr unsigned GenShift = 25;
    static constexpr std::uint64_t OpenBit = std::uint64_t{1} << 24;
    static constexpr std::uint64_t PinMask = OpenBit - 1;
    static constexpr std::uint64_t MaxGeneration = (std::uint64_t{1} << (64 - GenShift)) - 1;

    TSlot* SlotOf(std::int64_t Handle) const {
        if (Handle <= 0)
            return nullptr;
        const auto h = static_cast<std::uint64_t>(Handle);
        const std::uint64_t generation = h >> IndexBits;
        if (generation == 0 || generation > MaxGeneration)
            return nullptr;
        return &slots_[h & (Slots - 1)];
    }

    void Unpin(TSlot& Slot) const {
        const std::uint64_t before = Slot.Word.fetch_sub(1, std::memory_order_acq_rel);
        if (!(before & OpenBit) && (before & PinMask) == 1) {
            // The last caller of a slot being closed: the closer may be waiting for it.
            std::lock_guard lock(pinsMutex_);
            pinsGone_.notify_all();
        }
    }

    std::unique_ptr<TSlot[]> slots_ = std::make_unique<TSlot[]>(Slots);
    std::mutex freeMutex_;
    std::vector<std::size_t> free_; // freed slots, taken before unused ones
    std::size_t used_ = 0;          // slots handed out at least once
    mutable std::mutex pinsMutex_;
    mutable std::condition_variable pinsGone_;
};
