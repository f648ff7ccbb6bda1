// Whole-file reads and crash-safe replacement, shared by the registry hives and ini files.
//
// A replacement writes a temporary file beside the target, fsyncs it, renames it over the target
// and fsyncs the directory: a reader sees the old or the new file, never a partial one, and a
// crash leaves at worst a stray temporary file, which the next replacement of the same target
// removes. Read-modify-write cycles of several processes (or threads) are serialised by
// TDirectoryLock, an advisory flock on the target's directory; every replacement runs under it,
// so a temporary found there belongs to a save that died.
//
// Failures raise std::system_error carrying errno and a message that names the file.
#pragma once

#include <string>
#include <system_error>

class ECannotCreateFile : public std::system_error {
public:
    using std::system_error::system_error;
};

// False when Path does not exist; Data then is empty.
bool ReadWholeFile(const std::string& Path, std::string& Data);
// Call with TDirectoryLock held on the target's directory. A new file gets NewFileMode (less the
// umask); an existing one keeps its mode. Raises ECannotCreateFile when the temporary file
// cannot be made at all, std::system_error for any later failure.
void ReplaceFileAtomically(const std::string& Path, const std::string& Data,
                           unsigned NewFileMode = 0600);
// Creates Dir and its missing parents (mode 0700 for new ones).
void MakeDirectories(const std::string& Dir);
std::string DirectoryOf(const std::string& Path);

class TDirectoryLock {
public:
    explicit TDirectoryLock(const std::string& Dir);
    ~TDirectoryLock();
    TDirectoryLock(const TDirectoryLock&) = delete;
    TDirectoryLock& operator=(const TDirectoryLock&) = delete;

private:
    int fd_ = -1;
};

// For crash tests: called at each point where a replacement can be cut short (between the steps
// that change the disk). None in normal operation.
using TSaveCutHook = void (*)();
void SetSaveCutHook(TSaveCutHook Hook);
