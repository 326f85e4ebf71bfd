#include "SafeFile.h"

#include "Errors.h"

#include <QFileInfo>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pixmora {

namespace {

std::atomic<bool> unnamedAllowed{true};

constexpr char TemporaryMark[] = ".pixmora-";
constexpr int SuffixLetters = 6;

// --- named temporaries that a stopping signal removes -------------------------------------------------

// The list is read by the signal handler, so it is a fixed array of atomics: a slot is free (0), being
// filled (2) or holds a path (1).
struct Slot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
constexpr int SlotCount = 64;
Slot g_temporaries[SlotCount];

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(StopSignals)];

void onStopSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    for (Slot& slot : g_temporaries)
        if (slot.state.load() == 1)
            ::unlink(slot.path);
    errno = savedErrno;
    for (std::size_t i = 0; i < std::size(StopSignals); ++i) {
        if (StopSignals[i] != signal)
            continue;
        const struct sigaction& previous = previousActions[i];
        if (previous.sa_flags & SA_SIGINFO) {
            previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        } else {
            // Delivered as before once this handler returns: the process ends as the signal says.
            ::sigaction(signal, &previous, nullptr);
            ::raise(signal);
        }
    }
}

void installStopHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (std::size_t i = 0; i < std::size(StopSignals); ++i) {
            struct sigaction action {};
            action.sa_sigaction = onStopSignal;
            action.sa_flags = SA_SIGINFO | SA_RESTART;
            sigemptyset(&action.sa_mask);
            if (::sigaction(StopSignals[i], nullptr, &previousActions[i]) != 0)
                continue;
            // A signal the process ignores (nohup) stays ignored.
            if (!(previousActions[i].sa_flags & SA_SIGINFO) && previousActions[i].sa_handler == SIG_IGN)
                continue;
            ::sigaction(StopSignals[i], &action, nullptr);
        }
    });
}

int registerTemporary(const QByteArray& path) {
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < SlotCount; ++i) {
        int expected = 0;
        if (g_temporaries[i].state.compare_exchange_strong(expected, 2)) {
            std::memcpy(g_temporaries[i].path, path.constData(), static_cast<std::size_t>(path.size()) + 1);
            g_temporaries[i].state.store(1);
            return i;
        }
    }
    return -1; // more saves at once than slots: this one goes without the signal clean-up
}

void unregisterTemporary(int& slot) {
    if (slot >= 0)
        g_temporaries[slot].state.store(0);
    slot = -1;
}

// --- names ------------------------------------------------------------------------------------------

QByteArray randomSuffix() {
    static std::atomic<std::uint64_t> counter{std::random_device{}() * 0x9E3779B97F4A7C15ull};
    std::uint64_t z = counter.fetch_add(0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix;
    for (int i = 0; i < SuffixLetters; ++i, z /= 62)
        suffix.append(letters[z % 62]);
    return suffix;
}

// ".<name>.pixmora-<pid>-<suffix>", the target's name shortened so that the whole fits a file name.
QByteArray temporaryName(const QByteArray& folder, const QByteArray& name) {
    const QByteArray tail = TemporaryMark + QByteArray::number(::getpid()) + '-' + randomSuffix();
    constexpr int MaxName = 255;
    return folder + "/." + name.left(MaxName - 1 - tail.size()) + tail;
}

// The process id a temporary's name holds, or -1 when the name is not one of ours.
long temporaryOwner(const QByteArray& name) {
    if (!name.startsWith('.'))
        return -1;
    const qsizetype mark = name.lastIndexOf(TemporaryMark);
    if (mark <= 0)
        return -1;
    const QByteArray rest = name.mid(mark + qsizetype(sizeof TemporaryMark) - 1);
    const qsizetype dash = rest.indexOf('-');
    if (dash <= 0 || rest.size() - dash - 1 != SuffixLetters)
        return -1;
    long pid = 0;
    for (qsizetype i = 0; i < dash; ++i) {
        if (rest[i] < '0' || rest[i] > '9' || pid > 10'000'000)
            return -1;
        pid = pid * 10 + (rest[i] - '0');
    }
    for (qsizetype i = dash + 1; i < rest.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(rest[i])))
            return -1;
    return pid > 0 ? pid : -1;
}

// Removes the named temporaries that a killed save of ours left in `folder`: the name is ours, the file
// is our user's, the process that made it is gone, and nobody holds its lock (every writer locks its
// temporary for as long as it lives). Each folder is looked at once per process.
void clearStaleTemporaries(const QByteArray& folder) {
    static std::mutex mutex;
    static std::set<QByteArray> cleared;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!cleared.insert(folder).second)
            return;
    }
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const long owner = temporaryOwner(name);
        if (owner < 0 || owner == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(owner), 0) == 0 || errno == EPERM)
            continue; // alive (or its id taken by another process since: leave it)
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// --- the target ---------------------------------------------------------------------------------------

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The file that writing `path` should create or replace: symbolic links are followed, also when what
// they point to does not exist yet.
QByteArray followLinks(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        QByteArray link(PATH_MAX, '\0');
        const ssize_t length =
            ::readlink(path.constData(), link.data(), static_cast<std::size_t>(link.size()));
        if (length < 0 || length >= link.size())
            InOutError::raiseFromErrno();
        link.truncate(length);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    throw InOutError(InOutError::codeForErrno(ELOOP));
}

bool procFdWorks() {
    static const bool works = ::access("/proc/self/fd", X_OK) == 0;
    return works;
}

} // namespace

void SafeFile::setUnnamedTemporaries(bool allowed) {
    unnamedAllowed = allowed;
}

bool SafeFile::isTemporaryName(const QByteArray& fileName) {
    return temporaryOwner(fileName) > 0;
}

SafeFile::SafeFile(const QString& path) {
    if (path.isEmpty())
        throw InOutError(3);
    m_target = followLinks(QFile::encodeName(QFileInfo(path).absoluteFilePath()));
    m_folder = folderOf(m_target);
    const QByteArray name = m_target.mid(m_target.lastIndexOf('/') + 1);

    struct stat existing;
    const bool exists = ::stat(m_target.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        throw InOutError(5);
    // Renaming over a file needs only the folder's permission; a write-protected file must stay protected.
    if (exists && ::faccessat(AT_FDCWD, m_target.constData(), W_OK, AT_EACCESS) != 0)
        InOutError::raiseFromErrno();
    struct stat folder;
    if (::stat(m_folder.constData(), &folder) != 0)
        InOutError::raiseFromErrno();
    if (!S_ISDIR(folder.st_mode))
        throw InOutError(InOutError::codeForErrno(ENOTDIR));

    installStopHandlers();
    clearStaleTemporaries(m_folder);

    // New files get the usual permissions (the umask applies); a replaced file keeps its own.
    constexpr int NewFileMode = 0666;
    if (unnamedAllowed && procFdWorks()) {
        m_fd = ::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, NewFileMode);
        m_unnamed = m_fd >= 0;
        if (!m_unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            InOutError::raiseFromErrno();
    }
    if (!m_unnamed)
        openNamed(NewFileMode);
    // Held until the file is closed: it tells a later save that this temporary is still being written.
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    if (exists)
        ::fchmod(m_fd, existing.st_mode & 07777);

    static const cookie_io_functions_t functions = {nullptr, &SafeFile::cookieWrite, nullptr, nullptr};
    m_stream = ::fopencookie(this, "w", functions);
    if (!m_stream) {
        const int err = errno;
        ::close(m_fd);
        if (!m_temporary.isEmpty())
            ::unlink(m_temporary.constData());
        unregisterTemporary(m_slot);
        throw InOutError(InOutError::codeForErrno(err));
    }
    std::setvbuf(m_stream, nullptr, _IOFBF, 1 << 16);
}

void SafeFile::openNamed(int mode) {
    const QByteArray name = m_target.mid(m_target.lastIndexOf('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = temporaryName(m_folder, name);
        // Listed before it exists, so that no moment passes in which a signal would leave it behind.
        m_slot = registerTemporary(candidate);
        m_fd = ::open(candidate.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        if (m_fd >= 0) {
            m_temporary = candidate;
            return;
        }
        const int err = errno;
        unregisterTemporary(m_slot);
        if (err != EEXIST)
            throw InOutError(InOutError::codeForErrno(err));
    }
    throw InOutError(InOutError::codeForErrno(EEXIST));
}

SafeFile::~SafeFile() {
    if (m_stream)
        std::fclose(m_stream);
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    unregisterTemporary(m_slot);
}

ssize_t SafeFile::cookieWrite(void* cookie, const char* data, std::size_t bytes) {
    auto* self = static_cast<SafeFile*>(cookie);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::write(self->m_fd, data + done, bytes - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (self->m_writeError == 0)
                self->m_writeError = n < 0 ? errno : ENOSPC;
            errno = self->m_writeError;
            return static_cast<ssize_t>(done); // short: the stream marks its error
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

void SafeFile::write(const void* data, std::size_t bytes) {
    if (bytes != 0 && std::fwrite(data, 1, bytes, m_stream) != bytes)
        throw InOutError(InOutError::codeForErrno(m_writeError != 0 ? m_writeError : EIO));
}

bool SafeFile::linkAs(const QByteArray& name) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0;
}

void SafeFile::commit() {
    if (std::fflush(m_stream) != 0)
        throw InOutError(InOutError::codeForErrno(m_writeError != 0 ? m_writeError : errno));
    std::fclose(m_stream);
    m_stream = nullptr;
    if (::fsync(m_fd) != 0)
        InOutError::raiseFromErrno();

    if (m_unnamed) {
        // A new file is linked in under its name; an old one is replaced by a rename, which needs a name
        // to start from, held only for that moment.
        if (linkAs(m_target)) {
            m_committed = true;
        } else if (errno != EEXIST) {
            InOutError::raiseFromErrno();
        } else {
            const QByteArray name = m_target.mid(m_target.lastIndexOf('/') + 1);
            for (int attempt = 0; m_temporary.isEmpty(); ++attempt) {
                const QByteArray candidate = temporaryName(m_folder, name);
                m_slot = registerTemporary(candidate);
                if (linkAs(candidate)) {
                    m_temporary = candidate;
                    break;
                }
                const int err = errno;
                unregisterTemporary(m_slot);
                if (err != EEXIST || attempt == 100)
                    throw InOutError(InOutError::codeForErrno(err));
            }
        }
    }
    if (!m_committed) {
        if (::rename(m_temporary.constData(), m_target.constData()) != 0)
            InOutError::raiseFromErrno();
        m_committed = true;
    }
    unregisterTemporary(m_slot);
    // Make the new name itself durable.
    const int folder = ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void writeAtomically(const QString& path, const std::function<void(SafeFile&)>& writer) {
    SafeFile file(path);
    try {
        writer(file);
    } catch (...) {
        if (file.writeError() != 0)
            throw InOutError(InOutError::codeForErrno(file.writeError()));
        throw;
    }
    if (file.writeError() != 0)
        throw InOutError(InOutError::codeForErrno(file.writeError()));
    file.commit();
}

} // namespace pixmora
