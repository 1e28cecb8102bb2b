// Whole-or-nothing output files (see atomic_file.h).
#include "tools/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// Longest temporary name: the path, a dot, the pid and a counter, ".tmp".
constexpr size_t TEMP_NAME_BYTES = PATH_MAX + 48;

// One open temporary file. The signal handler reads `temp` only while
// `active` is set, and `active` is set after the name is complete.
struct Slot {
    volatile sig_atomic_t active;
    char temp[TEMP_NAME_BYTES];
    char final_path[PATH_MAX];
};

Slot slots[ATOMIC_FILE_MAX_OPEN];

// Signals that end a program by default and may arrive while a file is being
// written; SIGXFSZ is what a file-size limit (ulimit -f) sends mid-write.
constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};
constexpr int SIGNAL_COUNT = int(sizeof CLEANUP_SIGNALS / sizeof CLEANUP_SIGNALS[0]);
struct sigaction previous[SIGNAL_COUNT];
bool handlers_installed = false;

void remove_temporaries(int sig)
{
    for (Slot &s : slots)
        if (s.active) unlink(s.temp);
    // Then whatever the signal did before: usually end the program.
    for (int i = 0; i < SIGNAL_COUNT; ++i)
        if (CLEANUP_SIGNALS[i] == sig) sigaction(sig, &previous[i], nullptr);
    raise(sig);
}

void install_handlers()
{
    if (handlers_installed) return;
    handlers_installed = true;
    for (int i = 0; i < SIGNAL_COUNT; ++i) {
        sigaction(CLEANUP_SIGNALS[i], nullptr, &previous[i]);
        // A signal the caller (or whoever started it) ignores stays ignored.
        if (previous[i].sa_handler == SIG_IGN) continue;
        struct sigaction sa = {};
        sa.sa_handler = remove_temporaries;
        sigfillset(&sa.sa_mask);
        sigaction(CLEANUP_SIGNALS[i], &sa, nullptr);
    }
}

void block_cleanup_signals(sigset_t *old)
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : CLEANUP_SIGNALS) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, old);
}

void release(AtomicFile *f, bool remove)
{
    if (f->slot < 0) return;
    Slot &s = slots[f->slot];
    const int saved = errno;
    if (f->fd >= 0) close(f->fd);
    if (remove) unlink(s.temp);
    s.active = 0;
    f->fd = -1;
    f->slot = -1;
    errno = saved;
}

} // namespace

int atomic_file_open(AtomicFile *f, const char *path)
{
    f->fd = -1;
    f->slot = -1;
    if (std::strlen(path) >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int slot = 0;
    while (slot < ATOMIC_FILE_MAX_OPEN && slots[slot].active) ++slot;
    if (slot == ATOMIC_FILE_MAX_OPEN) {
        errno = EMFILE;
        return -1;
    }
    install_handlers();
    Slot &s = slots[slot];
    std::snprintf(s.final_path, sizeof s.final_path, "%s", path);

    // The signals wait while the file is created and registered, so that no
    // moment exists where it is on disk but unknown to the handler.
    sigset_t old;
    block_cleanup_signals(&old);
    int fd = -1;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        if (n == 0) std::snprintf(s.temp, sizeof s.temp, "%s.%ld.tmp", path, long(getpid()));
        else std::snprintf(s.temp, sizeof s.temp, "%s.%ld-%d.tmp", path, long(getpid()), n);
        fd = open(s.temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd >= 0) s.active = 1;
    const int saved = errno;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) {
        errno = saved;
        return -1;
    }
    f->fd = fd;
    f->slot = slot;
    return 0;
}

int atomic_file_write(AtomicFile *f, const void *data, size_t n)
{
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t done = write(f->fd, p, n);
        if (done < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (done == 0) {
            errno = EIO;
            return -1;
        }
        p += done;
        n -= size_t(done);
    }
    return 0;
}

int atomic_file_commit(AtomicFile *f)
{
    if (f->slot < 0) {
        errno = EBADF;
        return -1;
    }
    Slot &s = slots[f->slot];
    // The data reaches the disk before the name does, so that a crash after
    // the rename cannot leave an empty file under the final name.
    if (fsync(f->fd) != 0 || close(f->fd) != 0) {
        f->fd = -1;
        release(f, true);
        return -1;
    }
    f->fd = -1;
    if (rename(s.temp, s.final_path) != 0) {
        release(f, true);
        return -1;
    }
    release(f, false);
    return 0;
}

void atomic_file_abort(AtomicFile *f) { release(f, true); }

int atomic_file_write_all(const char *path, const void *data, size_t n)
{
    AtomicFile f;
    if (atomic_file_open(&f, path) != 0) return -1;
    if (atomic_file_write(&f, data, n) != 0) {
        atomic_file_abort(&f);
        return -1;
    }
    return atomic_file_commit(&f);
}
