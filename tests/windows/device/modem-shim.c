// Preloaded into Wine (LD_PRELOAD) for the device check: a pseudo-terminal has no modem lines and
// answers their ioctls with ENOTTY, which makes Wine cancel every wait on the port. This answers
// TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC for pseudo-terminals from DTR and RTS kept per process,
// and logs each change of the lines. Wine may enter ioctl() from a signal handler on a thread that
// is already inside it: nothing here locks or allocates; the state is atomic and each log line is
// one write() of a buffer on the stack.
//
// TAVRIN_SHIM_LOG    file to append "PID SECONDS.MICROS DTR RTS" lines to (1 = raised), and a
//                    "PID SECONDS.MICROS write TERMINAL BYTES" line for each write to a terminal:
//                    when the bytes were handed over, whatever the device then makes of them
// TAVRIN_SHIM_LINES  "up": the lines start raised, as a Windows port often keeps them from its last
//                    user; "unsupported": setting a line fails with ENOTTY, as on a port without
//                    modem lines (reading them still works)
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

enum { Lines = TIOCM_DTR | TIOCM_RTS };

static atomic_int lines;
static int logFd = -1;
static int unsupported;

__attribute__((constructor)) static void start(void) {
    const char* initial = getenv("TAVRIN_SHIM_LINES");
    atomic_store(&lines, initial && strcmp(initial, "up") == 0 ? Lines : 0);
    unsupported = initial && strcmp(initial, "unsupported") == 0;
    const char* log = getenv("TAVRIN_SHIM_LOG");
    if (log && *log)
        logFd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

static char* number(char* at, unsigned long long value, int digits) {
    char reversed[24];
    int n = 0;
    do {
        reversed[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value || n < digits);
    while (n)
        *at++ = reversed[--n];
    return at;
}

// The start of a log line: "PID SECONDS.MICROS ".
static char* stamp(char* at) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    at = number(at, (unsigned long long)getpid(), 1);
    *at++ = ' ';
    at = number(at, (unsigned long long)now.tv_sec, 1);
    *at++ = '.';
    at = number(at, (unsigned long long)now.tv_nsec / 1000, 6);
    *at++ = ' ';
    return at;
}

static void logLine(const char* line, const char* end) {
    (void)!syscall(SYS_write, logFd, line, (size_t)(end - line));
}

static void logLines(int state) {
    if (logFd < 0)
        return;
    char line[96];
    char* at = stamp(line);
    *at++ = state & TIOCM_DTR ? '1' : '0';
    *at++ = ' ';
    *at++ = state & TIOCM_RTS ? '1' : '0';
    *at++ = '\n';
    logLine(line, at);
}

// The pseudo-terminal's number, or -1 for anything else.
static int pseudoTerminal(int fd) {
    struct stat status;
    // Unix98 pseudo-terminal slaves have majors 136 to 143.
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode) || major(status.st_rdev) < 136 ||
        major(status.st_rdev) > 143)
        return -1;
    return (int)((major(status.st_rdev) - 136) * 256 + minor(status.st_rdev));
}

static int isPseudoTerminal(int fd) {
    return pseudoTerminal(fd) >= 0;
}

ssize_t write(int fd, const void* bytes, size_t count) {
    const long result = syscall(SYS_write, fd, bytes, count);
    if (result > 0 && logFd >= 0) {
        const int terminal = pseudoTerminal(fd);
        if (terminal >= 0) {
            const int saved = errno;
            char line[96];
            char* at = stamp(line);
            memcpy(at, "write ", 6);
            at = number(at + 6, (unsigned long long)terminal, 1);
            *at++ = ' ';
            at = number(at, (unsigned long long)result, 1);
            *at++ = '\n';
            logLine(line, at);
            errno = saved;
        }
    }
    return (ssize_t)result;
}

int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);

    const long result = syscall(SYS_ioctl, fd, request, argument);
    if (result != -1 || errno != ENOTTY)
        return (int)result;
    if ((request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS &&
         request != TIOCMBIC) ||
        !isPseudoTerminal(fd)) {
        errno = ENOTTY;
        return -1;
    }
    if (request == TIOCMGET) {
        // A device that is there: data set ready, clear to send, carrier.
        *(int*)argument = atomic_load(&lines) | TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
        return 0;
    }
    if (unsupported) {
        errno = ENOTTY;
        return -1;
    }
    const int bits = *(const int*)argument & Lines;
    int before = atomic_load(&lines);
    int after;
    do
        after = request == TIOCMSET ? bits : request == TIOCMBIS ? before | bits : before & ~bits;
    while (!atomic_compare_exchange_weak(&lines, &before, after));
    logLines(after);
    return 0;
}
