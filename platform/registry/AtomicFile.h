// Whole-file reads and crash-safe replacement, shared by the registry hives and ini files.
//
// A replacement writes a temporary file beside the target, fsyncs it, renames it over the target
// and fsyncs the directory: a reader sees the old or the new file, never a partial one, and a
// crash leaves at worst a stray temporary file. Read-modify-write cycles of several processes
// (or threads) are serialised by TDirectoryLock, an advisory flock on the target's directory.
//
// Failures raise std::system_error carrying errno and a message that names the file.
#pragma once

#include <string>

// False when Path does not exist; Data then is empty.
bool ReadWholeFile(const std::string& Path, std::string& Data);
void ReplaceFileAtomically(const std::string& Path, const std::string& Data);
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
