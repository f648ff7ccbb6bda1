// String lists. TStrings is the abstract list that controls and functions take (a combo box's
// items can be one); TStringList holds its strings itself and adds sorting and search.
// Case-insensitive comparison folds ASCII letters only (texts are byte strings).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Object.h"

enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
public:
    virtual int GetCount() const = 0;
    virtual std::string Get(int Index) const = 0;
    virtual void Put(int Index, const std::string& S);
    virtual void Insert(int Index, const std::string& S) = 0;
    virtual void Delete(int Index) = 0;
    virtual void Clear() = 0;

    // Index of the new string.
    virtual int Add(const std::string& S);
    void AddStrings(const TStrings& Strings);
    void Append(const std::string& S) { Add(S); }
    // First index of S, or -1; without regard to case unless the list says otherwise.
    virtual int IndexOf(const std::string& S) const;
    void Move(int CurIndex, int NewIndex);
    void Exchange(int Index1, int Index2);

    std::string GetStrings(int Index) const { return Get(Index); }
    void SetStrings(int Index, const std::string& S) { Put(Index, S); }
    std::string operator[](int Index) const { return Get(Index); }

    // Lines joined, each followed by "\n"; SetText splits at LF, CR LF or CR.
    std::string GetText() const;
    void SetText(const std::string& Text);

    // Calls may be bracketed for lists that redraw on change; nests.
    void BeginUpdate();
    void EndUpdate();
    int GetUpdateCount() const { return updateCount_; }

    // Replaces the contents with those of another TStrings; other sources: EConvertError.
    void Assign(const TPersistent* Source) override;

    std::vector<std::string> ToVector() const;

protected:
    virtual void SetUpdateState(bool /*Updating*/) {}
    virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
    [[noreturn]] void Error(const char* Msg, int Index) const;

private:
    int updateCount_ = 0;
};

class TStringList : public TStrings {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> Items);

    int GetCount() const override { return static_cast<int>(items_.size()); }
    std::string Get(int Index) const override;
    void Put(int Index, const std::string& S) override;
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;
    void Clear() override;
    // In a sorted list the string goes to its sorted place, and Duplicates applies.
    int Add(const std::string& S) override;
    int IndexOf(const std::string& S) const override;

    // Binary search of a sorted list: true when found; Index is the match or the insert point.
    bool Find(const std::string& S, int& Index) const;
    // Stable sort by CompareStrings (without regard to case by default).
    virtual void Sort();

    bool GetSorted() const { return sorted_; }
    void SetSorted(bool Value);
    bool GetCaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool Value);
    TDuplicates GetDuplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }

protected:
    int CompareStrings(const std::string& S1, const std::string& S2) const override;

private:
    void CheckIndex(int Index, bool AllowEnd) const;

    std::vector<std::string> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = dupIgnore;
};
