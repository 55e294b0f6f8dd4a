#include "midi/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace selvik {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for path lookups
constexpr int kMaxNameAttempts = 100;

// The temporary files being written, for removeTemporaryFiles(). A signal
// handler may read them at any moment, so an entry's path is complete before
// the entry is marked in use, and nothing here allocates. More files at once
// than entries are written all the same, just not known to the handler.
constexpr int kKnownTemporaries = 64;
constexpr std::size_t kKnownPathLength = 4096;
struct KnownTemporary {
    std::atomic<bool> inUse{false};
    std::atomic<bool> claimed{false};
    char path[kKnownPathLength];
};
KnownTemporary gTemporaries[kKnownTemporaries];

int rememberTemporary(const std::string& path) {
    if (path.size() >= kKnownPathLength) return -1;
    for (int i = 0; i < kKnownTemporaries; ++i) {
        bool expected = false;
        if (!gTemporaries[i].claimed.compare_exchange_strong(expected, true)) continue;
        path.copy(gTemporaries[i].path, path.size());
        gTemporaries[i].path[path.size()] = '\0';
        gTemporaries[i].inUse.store(true);
        return i;
    }
    return -1;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links until a path that is not one (or does not exist).
// `exists` and `info` describe the final path. False on a loop or an error.
bool resolveLinks(std::string& path, bool& exists, struct stat& info) {
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        if (lstat(path.c_str(), &info) != 0) {
            exists = false;
            return errno == ENOENT;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return true;
        }
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 64) + 1, '\0');
        for (;;) {
            const ssize_t length = readlink(path.c_str(), target.data(), target.size());
            if (length < 0) {
                return false;
            }
            if (static_cast<std::size_t>(length) < target.size()) {
                target.resize(static_cast<std::size_t>(length));
                break;
            }
            target.resize(target.size() * 2);  // the link changed under us: try larger
        }
        path = (!target.empty() && target[0] == '/') ? target : folderOf(path) + target;
    }
    return false;
}

// Six characters that differ between calls and processes; O_EXCL settles any
// collision, so they need not be unpredictable.
std::string uniqueSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = static_cast<std::uint64_t>(
                          std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (static_cast<std::uint64_t>(getpid()) << 32) ^
                      (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(6, 'A');
    for (char& c : suffix) {
        c = kAlphabet[x % 62];
        x /= 62;
    }
    return suffix;
}

}  // namespace

OutputFile::~OutputFile() { abandon(); }

void OutputFile::removeTemporaryFiles() {
    for (KnownTemporary& temporary : gTemporaries) {
        if (temporary.inUse.load()) unlink(temporary.path);
    }
}

void OutputFile::forgetTemporary() {
    if (slot_ < 0) return;
    gTemporaries[slot_].inUse.store(false);
    gTemporaries[slot_].claimed.store(false);
    slot_ = -1;
}

bool OutputFile::open(const char* path) {
    abandon();
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    std::string target(path);
    bool exists = false;
    struct stat info {};
    if (!resolveLinks(target, exists, info)) {
        return false;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        // A pipe or a device cannot be replaced; it is written as it is.
        fd_ = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        replacing_ = false;
        return fd_ >= 0;
    }

    const std::string prefix = folderOf(target) + "." + nameOf(target) + ".";
    // Created with 0666 so that the kernel applies the umask (and any default
    // ACL) to a new file exactly as it would for the target itself.
    for (int attempt = 0; attempt < kMaxNameAttempts && fd_ < 0; ++attempt) {
        temporaryPath_ = prefix + uniqueSuffix();
        fd_ = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd_ < 0) {
        temporaryPath_.clear();
        return false;
    }
    slot_ = rememberTemporary(temporaryPath_);
    replacing_ = true;
    targetPath_ = target;
    if (exists) {
        // Keep the replaced file's owner where we may (only root may give a file
        // away), then its mode; the chown comes first because it may clear the
        // set-user-ID bits.
        if (info.st_uid != geteuid() || info.st_gid != getegid()) {
            if (fchown(fd_, info.st_uid, info.st_gid) != 0) {
                // Not permitted for an ordinary user: the file is theirs then.
            }
        }
        if (fchmod(fd_, info.st_mode & 07777) != 0) {
            abandon();
            return false;
        }
    }
    return true;
}

bool OutputFile::write(const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::commit() {
    if (fd_ < 0) {
        return false;
    }
    if (replacing_ && fsync(fd_) != 0 && errno != EINVAL && errno != ENOTSUP) {
        abandon();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
        // After a failed close the data may not have reached the file.
        abandon();
        return false;
    }
    if (replacing_) {
        if (std::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) {
            abandon();
            return false;
        }
        forgetTemporary();
        temporaryPath_.clear();
        replacing_ = false;
    }
    return true;
}

void OutputFile::abandon() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (replacing_ && !temporaryPath_.empty()) {
        unlink(temporaryPath_.c_str());
    }
    forgetTemporary();
    temporaryPath_.clear();
    targetPath_.clear();
    replacing_ = false;
}

}  // namespace selvik
