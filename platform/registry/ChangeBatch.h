// Changes grouped into one save. Each change is applied at once to the batch's own copy of the
// document, so that reads inside the batch see it, and recorded, so that the commit can replay
// all of them on the file's content of that moment (under the file's lock) and replace the file
// once: a crash leaves all of the changes or none, and what other writers saved meanwhile stays.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

template <typename TDoc>
class TChangeBatch {
public:
    // Returns whether it changed the document. It runs again at the commit, so it must own
    // (capture by value) everything it uses.
    using TChange = std::function<bool(TDoc&)>;

    bool Active() const { return active_; }
    bool HasChanges() const { return !changes_.empty(); }
    void Begin() {
        Cancel();
        active_ = true;
    }
    void Cancel() {
        active_ = false;
        view_.reset();
        changes_.clear();
    }

    // The batch's copy of the document; Load gives it on first use.
    template <typename FLoad>
    TDoc& View(FLoad&& Load) {
        if (!view_)
            view_.emplace(Load());
        return *view_;
    }
    // Forgets the copy: the document it came from is no longer the one addressed.
    void DropView() { view_.reset(); }

    // Raises what Change raises; a change must raise before it alters anything.
    template <typename FLoad>
    bool Apply(FLoad&& Load, TChange Change) {
        const bool changed = Change(View(std::forward<FLoad>(Load)));
        if (changed)
            changes_.push_back(std::move(Change));
        return changed;
    }

    // Inside a batch, applies Change to the batch's copy; outside one, saves it at once. Save
    // takes an edit of the document's current content (bool(TDoc&)) and writes it back.
    template <typename FLoad, typename FSave>
    bool Modify(FLoad&& Load, FSave&& Save, TChange Change) {
        if (active_)
            return Apply(std::forward<FLoad>(Load), std::move(Change));
        bool changed = false;
        Save([&](TDoc& Doc) { return changed = Change(Doc); });
        return changed;
    }

    // Ends the batch and saves its changes, replayed on the current content, in one write. The
    // batch is over even when the save raises.
    template <typename FSave>
    void Commit(FSave&& Save) {
        if (!HasChanges()) {
            Cancel();
            return;
        }
        const TChangeBatch taken = std::move(*this);
        Cancel();
        Save([&](TDoc& Doc) { return taken.Replay(Doc); });
    }

    // True when any change altered Doc.
    bool Replay(TDoc& Doc) const {
        bool changed = false;
        for (const TChange& change : changes_)
            changed = change(Doc) || changed;
        return changed;
    }

private:
    bool active_ = false;
    std::optional<TDoc> view_;
    std::vector<TChange> changes_;
};
