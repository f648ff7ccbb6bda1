#include "platform/serial/DeviceFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The same file: for device nodes the same device, whichever node names it.
bool SameFile(const struct stat& A, const struct stat& B) {
    if (S_ISCHR(A.st_mode) && S_ISCHR(B.st_mode))
        return A.st_rdev == B.st_rdev;
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

std::string CommandOf(pid_t Pid) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/comm");
    std::string Name;
    std::getline(In, Name);
    return Name;
}

// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF", a waiter with "->"
// after the number; the file is major:minor in hex and the inode in decimal.
pid_t LockOwner(const std::string& Line, const struct stat& File) {
    std::istringstream In(Line);
    std::vector<std::string> Fields;
    for (std::string F; In >> F;)
        if (F != "->")
            Fields.push_back(F);
    if (Fields.size() < 6)
        return 0;
    unsigned Major = 0, Minor = 0;
    unsigned long long Inode = 0;
    char Colon1 = 0, Colon2 = 0;
    std::istringstream Where(Fields[5]);
    Where >> std::hex >> Major >> Colon1 >> Minor >> Colon2 >> std::dec >> Inode;
    if (!Where || Colon1 != ':' || Colon2 != ':' || Major != major(File.st_dev) ||
        Minor != minor(File.st_dev) || Inode != File.st_ino)
        return 0;
    return static_cast<pid_t>(std::atol(Fields[4].c_str()));
}

pid_t FromLocks(const struct stat& File) {
    std::ifstream In("/proc/locks");
    for (std::string Line; std::getline(In, Line);) {
        const pid_t Pid = LockOwner(Line, File);
        if (Pid > 0 && Pid != ::getpid())
            return Pid;
    }
    return 0;
}

pid_t FromOpenFiles(const struct stat& File) {
    namespace fs = std::filesystem;
    std::error_code Ec;
    for (fs::directory_iterator P("/proc", Ec), End; !Ec && P != End; P.increment(Ec)) {
        const std::string Name = P->path().filename().string();
        if (Name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t Pid = static_cast<pid_t>(std::atol(Name.c_str()));
        if (Pid == ::getpid())
            continue;
        std::error_code FdEc;
        for (fs::directory_iterator Fd(P->path() / "fd", FdEc), FdEnd; !FdEc && Fd != FdEnd;
             Fd.increment(FdEc)) {
            struct stat Open {};
            if (::stat(Fd->path().c_str(), &Open) == 0 && SameFile(Open, File))
                return Pid;
        }
    }
    return 0;
}

std::string UserName(uid_t Uid) {
    std::vector<char> Buffer(4096);
    passwd Entry{}, *Found = nullptr;
    if (::getpwuid_r(Uid, &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found)
        return Found->pw_name;
    return std::to_string(Uid);
}

std::string GroupName(gid_t Gid) {
    std::vector<char> Buffer(4096);
    group Entry{}, *Found = nullptr;
    if (::getgrgid_r(Gid, &Entry, Buffer.data(), Buffer.size(), &Found) == 0 && Found)
        return Found->gr_name;
    return std::to_string(Gid);
}

} // namespace

bool FindDeviceHolder(const std::string& Path, TDeviceHolder& Holder) {
    struct stat File {};
    if (Path.empty() || ::stat(Path.c_str(), &File) != 0)
        return false;
    pid_t Pid = FromLocks(File);
    if (Pid == 0)
        Pid = FromOpenFiles(File);
    if (Pid == 0)
        return false;
    Holder.Pid = Pid;
    Holder.Command = CommandOf(Pid);
    return true;
}

bool GetDeviceAccess(const std::string& Path, TDeviceAccess& Access) {
    struct stat File {};
    if (Path.empty() || ::stat(Path.c_str(), &File) != 0)
        return false;
    Access.Owner = UserName(File.st_uid);
    Access.Group = GroupName(File.st_gid);
    Access.GroupMayOpen = (File.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return true;
}
