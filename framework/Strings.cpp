#include "framework/Strings.h"

#include <algorithm>

#include "framework/Exception.h"
#include "platform/text/AsciiText.h"

void TStrings::Put(int Index, const std::string& S) {
    Delete(Index);
    Insert(Index, S);
}

int TStrings::Add(const std::string& S) {
    const int index = GetCount();
    Insert(index, S);
    return index;
}

void TStrings::AddStrings(const TStrings& Strings) {
    BeginUpdate();
    try {
        const int n = Strings.GetCount();
        for (int i = 0; i < n; ++i)
            Add(Strings.Get(i));
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

int TStrings::IndexOf(const std::string& S) const {
    const int n = GetCount();
    for (int i = 0; i < n; ++i)
        if (CompareStrings(Get(i), S) == 0)
            return i;
    return -1;
}

void TStrings::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex)
        return;
    const std::string s = Get(CurIndex);
    Delete(CurIndex);
    Insert(NewIndex, s);
}

void TStrings::Exchange(int Index1, int Index2) {
    const std::string s1 = Get(Index1);
    const std::string s2 = Get(Index2);
    Put(Index1, s2);
    Put(Index2, s1);
}

std::string TStrings::GetText() const {
    std::string text;
    const int n = GetCount();
    for (int i = 0; i < n; ++i) {
        text += Get(i);
        text += '\n';
    }
    return text;
}

void TStrings::SetText(const std::string& Text) {
    BeginUpdate();
    try {
        Clear();
        std::size_t start = 0;
        while (start < Text.size()) {
            std::size_t end = Text.find_first_of("\r\n", start);
            if (end == std::string::npos) {
                Add(Text.substr(start));
                break;
            }
            Add(Text.substr(start, end - start));
            start = end +
                    ((Text[end] == '\r' && end + 1 < Text.size() && Text[end + 1] == '\n') ? 2 : 1);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TStrings::BeginUpdate() {
    if (updateCount_++ == 0)
        SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0)
        SetUpdateState(false);
}

void TStrings::Assign(const TPersistent* Source) {
    const auto* src = dynamic_cast<const TStrings*>(Source);
    if (src == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    if (src == this)
        return;
    BeginUpdate();
    try {
        Clear();
        AddStrings(*src);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::vector<std::string> TStrings::ToVector() const {
    std::vector<std::string> v;
    const int n = GetCount();
    v.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v.push_back(Get(i));
    return v;
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
    return CompareText(S1, S2);
}

void TStrings::Error(const char* Msg, int Index) const {
    throw EStringListError(std::string(Msg) + " (" + std::to_string(Index) + ")");
}

TStringList::TStringList(std::initializer_list<std::string> Items) : items_(Items) {}

void TStringList::CheckIndex(int Index, bool AllowEnd) const {
    if (Index < 0 || Index > GetCount() || (!AllowEnd && Index == GetCount()))
        Error("List index out of bounds", Index);
}

std::string TStringList::Get(int Index) const {
    CheckIndex(Index, false);
    return items_[static_cast<std::size_t>(Index)];
}

void TStringList::Put(int Index, const std::string& S) {
    if (sorted_)
        throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(Index, false);
    items_[static_cast<std::size_t>(Index)] = S;
}

void TStringList::Insert(int Index, const std::string& S) {
    if (sorted_)
        throw EStringListError("Operation not allowed on sorted list");
    CheckIndex(Index, true);
    items_.insert(items_.begin() + Index, S);
}

void TStringList::Delete(int Index) {
    CheckIndex(Index, false);
    items_.erase(items_.begin() + Index);
}

void TStringList::Clear() {
    items_.clear();
}

int TStringList::Add(const std::string& S) {
    if (!sorted_) {
        items_.push_back(S);
        return GetCount() - 1;
    }
    int index = 0;
    if (Find(S, index)) {
        if (duplicates_ == dupIgnore)
            return index;
        if (duplicates_ == dupError)
            throw EStringListError("String list does not allow duplicates");
    }
    items_.insert(items_.begin() + index, S);
    return index;
}

int TStringList::IndexOf(const std::string& S) const {
    if (!sorted_)
        return TStrings::IndexOf(S);
    int index = 0;
    return Find(S, index) ? index : -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
    // Lower bound, so that among equal strings the first is found.
    int lo = 0;
    int hi = GetCount();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (CompareStrings(items_[static_cast<std::size_t>(mid)], S) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Index = lo;
    return lo < GetCount() && CompareStrings(items_[static_cast<std::size_t>(lo)], S) == 0;
}

void TStringList::Sort() {
    std::stable_sort(
        items_.begin(), items_.end(),
        [this](const std::string& a, const std::string& b) { return CompareStrings(a, b) < 0; });
}

void TStringList::SetSorted(bool Value) {
    if (sorted_ == Value)
        return;
    if (Value)
        Sort();
    sorted_ = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
    if (caseSensitive_ == Value)
        return;
    caseSensitive_ = Value;
    if (sorted_)
        Sort();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
    if (caseSensitive_)
        return S1.compare(S2) < 0 ? -1 : (S1 == S2 ? 0 : 1);
    return CompareText(S1, S2);
}
