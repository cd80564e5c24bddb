// Writing private-profile files: the read-modify-write under a lock, the temporary file and the
// replacement of the old file by it; here what both platforms share and the POSIX write (the
// Windows one is in ProfileWriteWindows.cpp).

#include "platform/PrivateProfile.h"
#include "platform/ProfileFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <functional>
#include <mutex>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace PrivateProfile::Internal {
namespace {

TestAccess::TempFileHook tempFileHook;

// How long a write waits for the folder's lock.
std::chrono::milliseconds lockWait{30'000};

// The parts of a temporary file's name (see IsTempName).
constexpr std::string_view TempPrefix = ".~pp";
constexpr std::size_t TempRandomLength = 12;
constexpr std::string_view TempAlphabet = "0123456789abcdefghijklmnopqrstuvwxyz";

} // namespace

// ---------------------------------------------------------------------------------------------
// Shared by the platforms' write paths

void TempFileCreated(const std::string& folder, const std::string& name) {
    if (tempFileHook) {
        tempFileHook(folder, name);
    }
}

Change PlanChange(const std::string& target, std::string_view section, OptText key, OptText value) {
    const Loaded loaded = Load(target, CacheUse::Bypass);
    if (loaded.status == LoadStatus::Unreadable) {
        return {Plan::Fail, {}};
    }
    const ParsedFile empty{std::string()};
    const ParsedFile& file = loaded.file ? *loaded.file : empty;
    const auto text = EditedText(file, section, key, value);
    if (!text) {
        return {Plan::Nothing, {}};
    }
    auto bytes = file.Reencodable() ? Encode(*text, file.Encoding()) : std::nullopt;
    if (!bytes || bytes->size() > MaxFileSize) {
        return {Plan::Fail, {}};
    }
    return {Plan::Write, std::move(*bytes)};
}

std::chrono::milliseconds LockWait() {
    return lockWait;
}

std::mutex& PathMutex(const std::string& path) {
    static std::array<std::mutex, 64> mutexes;
    return mutexes[std::hash<std::string>{}(path) % mutexes.size()];
}

bool IsTempName(std::string_view name) {
    if (name.size() != TempPrefix.size() + TempRandomLength || !name.starts_with(TempPrefix)) {
        return false;
    }
    return name.substr(TempPrefix.size()).find_first_not_of(TempAlphabet) == std::string::npos;
}

std::string RandomTempName() {
    std::array<unsigned char, TempRandomLength> random{};
#ifdef _WIN32
    const bool filled = false;
#else
    const bool filled =
        ::getrandom(random.data(), random.size(), 0) == static_cast<ssize_t>(random.size());
#endif
    if (!filled) {
        std::random_device device;
        for (auto& byte : random) {
            byte = static_cast<unsigned char>(device());
        }
    }
    std::string name(TempPrefix);
    for (unsigned char byte : random) {
        name += TempAlphabet[byte % TempAlphabet.size()];
    }
    return name;
}

FolderAndName SplitPath(const std::string& path) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("\\/");
#else
    const std::size_t slash = path.rfind('/');
#endif
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? path.substr(0, 1) : path.substr(0, slash), path.substr(slash + 1)};
}

#ifndef _WIN32
// ---------------------------------------------------------------------------------------------
// POSIX

namespace {

// The folder, open for the *at calls (so that only the file's own name, not its whole path,
// must fit the system's limits), and locked for writers (flock on separate opens excludes
// threads of one process as well as processes). A folder that cannot be opened for reading or
// locked (some network file systems) is still written, without the lock. A lock that stays taken
// for longer than lockWait (a writer that hangs, or another program holding it) fails the write
// rather than hang it.
class LockedFolder {
public:
    explicit LockedFolder(const std::string& folder) {
        FFd.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (FFd.Get() < 0) {
#ifdef O_PATH
            FFd.Reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
#endif
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + LockWait();
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(FFd.Get(), LOCK_EX | LOCK_NB) == 0) {
                FState = LockState::Locked;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) {
                return; // no locks here
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                FState = LockState::TimedOut;
                return;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
        }
    }
    int Fd() const {
        return FFd.Get();
    }
    LockState State() const {
        return FState;
    }

private:
    UniqueFd FFd;
    LockState FState = LockState::Unsupported;
};

// Under the folder's lock no other writer has a temporary file open there: any left behind is a
// dead writer's and goes.
void RemoveLeftovers(const LockedFolder& folder) {
    const int fd = ::openat(folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsTempName(entry->d_name)) {
            leftovers.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : leftovers) {
        struct stat st {};
        if (::fstatat(folder.Fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode)) {
            ::unlinkat(folder.Fd(), name.c_str(), 0);
        }
    }
}

bool UserInGroup(uid_t uid, gid_t gid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return false;
    }
    if (found->pw_gid == gid) {
        return true;
    }
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
            return false;
        }
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// Gives the new file (fd, owned by the writer) the old file's owner and group where the writer
// may: the group when the writer belongs to it, the owner when the process is privileged. False
// when what remains would change who may read the file.
bool TakeOverOwnership(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        return false;
    }
    const bool groupKept = now.st_gid == old.st_gid || ::fchown(fd, -1, old.st_gid) == 0;
    const bool ownerKept = now.st_uid == old.st_uid || ::fchown(fd, old.st_uid, -1) == 0;
    if (groupKept && ownerKept) {
        return true;
    }
    const mode_t mode = old.st_mode;
    const bool groupReads = (mode & S_IRGRP) != 0;
    const bool othersRead = (mode & S_IROTH) != 0;
    const gid_t newGroup = groupKept ? old.st_gid : now.st_gid;
    // Members of a group that could not be kept fall back to the others' rights, and members of
    // the writer's group gain the group's: equal rights leave every one of them as they were.
    const bool groupsAsBefore = groupKept || groupReads == othersRead;
    // An owner that could not be kept reads through the group or the others' rights from now on;
    // the writer, who could read the file, becomes its owner.
    const bool ownersAsBefore =
        ownerKept ||
        ((mode & S_IRUSR) != 0 && (UserInGroup(old.st_uid, newGroup) ? groupReads : othersRead));
    return groupsAsBefore && ownersAsBefore;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes content to a new file in the folder, syncs it and renames it over name. A replaced
// file's temporary copy is readable by the writer alone until it has the old file's owner, group
// and mode; a new file starts with the usual permissions (0666 less the umask).
bool ReplaceFile(const LockedFolder& folder, const std::string& folderPath, const std::string& name,
                 std::string_view content, const struct stat* old) {
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && fd.Get() < 0; ++attempt) {
        temp = RandomTempName();
        fd.Reset(::openat(folder.Fd(), temp.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          old != nullptr ? 0600 : 0666));
        if (fd.Get() < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd.Get() < 0) {
        return false;
    }
    TempFileCreated(folderPath, temp);
    const bool written = WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0 &&
                         (old == nullptr || (TakeOverOwnership(fd.Get(), *old) &&
                                             ::fchmod(fd.Get(), old->st_mode & 07777) == 0)) &&
                         fd.Close();
    if (!written || ::renameat(folder.Fd(), temp.c_str(), folder.Fd(), name.c_str()) != 0) {
        ::unlinkat(folder.Fd(), temp.c_str(), 0);
        return false;
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    ::fsync(folder.Fd());
    return true;
}

// The file a write must replace: the target of a symbolic link, else path itself.
std::optional<std::string> WriteTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

} // namespace

bool WriteFile(std::string_view section, OptText key, OptText value, const std::string& path) {
    const auto target = WriteTarget(path);
    if (!target) {
        return false;
    }
    const FolderAndName parts = SplitPath(*target);
    if (parts.name.empty()) {
        return false;
    }
    const std::lock_guard threadLock(PathMutex(*target));
    const LockedFolder folder(parts.folder);
    if (folder.Fd() < 0 || folder.State() == LockState::TimedOut) {
        return false;
    }
    if (folder.State() == LockState::Locked) {
        RemoveLeftovers(folder);
    }
    struct stat st {};
    const bool exists = ::fstatat(folder.Fd(), parts.name.c_str(), &st, 0) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    // A file without any write permission stays untouched even for a privileged user, and a file
    // with several names is not split into two.
    if (exists && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || st.st_nlink > 1 ||
                   ::faccessat(folder.Fd(), parts.name.c_str(), R_OK | W_OK, 0) != 0)) {
        return false;
    }
    const Change change = PlanChange(*target, section, key, value);
    bool ok = change.plan != Plan::Fail;
    if (change.plan == Plan::Write) {
        ok = ReplaceFile(folder, parts.folder, parts.name, change.bytes, exists ? &st : nullptr);
    }
    Forget(*target);
    Forget(path);
    return ok;
}

#endif

void TestAccess::SetTempFileHook(TempFileHook hook) {
    tempFileHook = std::move(hook);
}

void TestAccess::SetLockWait(std::chrono::milliseconds wait) {
    lockWait = wait;
}

} // namespace PrivateProfile::Internal
