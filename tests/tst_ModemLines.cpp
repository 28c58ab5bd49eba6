// The DTR and RTS lines as a device wired to them sees them, through the real serial code: this
// executable stands in for the system calls that open and close a pseudo-terminal and set its
// modem lines, which pseudo-terminals lack, and logs every change of level.

#include "RealLink.h"
#include "SimulatorProcess.h"

#include <QMutex>
#include <QTest>

#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <map>
#include <sys/ioctl.h>
#include <termios.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

// What the lines of each pseudo-terminal opened here do, as the kernel does it for a serial port:
// opening raises both lines, closing drops them when HUPCL is set.
struct Lines {
    static Lines& instance() {
        static Lines lines;
        return lines;
    }
    void opened(int fd, const char* path) {
        if (fd < 0 || std::strncmp(path, "/dev/pts/", 9) != 0)
            return;
        QMutexLocker lock(&mutex);
        log << "open";
        levels[fd] = 0;
        change(fd, TIOCM_DTR | TIOCM_RTS, true);
    }
    bool closing(int fd) {
        QMutexLocker lock(&mutex);
        if (!levels.count(fd))
            return false;
        termios settings{};
        const bool hangUp = ::tcgetattr(fd, &settings) == 0 && (settings.c_cflag & HUPCL);
        log << "close";
        if (hangUp)
            change(fd, TIOCM_DTR | TIOCM_RTS, false);
        levels.erase(fd);
        return true;
    }
    // True when the request was about a tracked terminal's modem lines and is answered here.
    bool control(int fd, unsigned long request, int* bits) {
        QMutexLocker lock(&mutex);
        if (!levels.count(fd) || !bits)
            return false;
        switch (request) {
        case TIOCMGET:
            *bits = levels[fd];
            return true;
        case TIOCMBIS:
            change(fd, *bits, true);
            return true;
        case TIOCMBIC:
            change(fd, *bits, false);
            return true;
        case TIOCMSET:
            change(fd, *bits & (TIOCM_DTR | TIOCM_RTS), true);
            change(fd, ~*bits & (TIOCM_DTR | TIOCM_RTS), false);
            return true;
        default:
            return false;
        }
    }
    QStringList take() {
        QMutexLocker lock(&mutex);
        return std::exchange(log, {});
    }

private:
    void change(int fd, int bits, bool raise) {
        for (auto [bit, name] : {std::pair{TIOCM_DTR, "DTR"}, std::pair{TIOCM_RTS, "RTS"}}) {
            if (!(bits & bit) || bool(levels[fd] & bit) == raise)
                continue;
            levels[fd] = raise ? levels[fd] | bit : levels[fd] & ~bit;
            log << QStringLiteral("%1 %2").arg(name, raise ? "rises" : "falls");
        }
    }

    QMutex mutex;
    std::map<int, int> levels;
    QStringList log;
};

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int openWith(const char* name, const char* path, int flags, va_list rest) {
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(rest, int)) : 0;
    static const auto real = next<int (*)(const char*, int, ...)>(name);
    const int fd = real(path, flags, mode);
    Lines::instance().opened(fd, path);
    return fd;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const int fd = openWith("open", path, flags, rest);
    va_end(rest);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list rest;
    va_start(rest, flags);
    const int fd = openWith("open64", path, flags, rest);
    va_end(rest);
    return fd;
}

int close(int fd) {
    static const auto real = next<int (*)(int)>("close");
    Lines::instance().closing(fd);
    return real(fd);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list rest;
    va_start(rest, request);
    void* argument = va_arg(rest, void*);
    va_end(rest);
    if (Lines::instance().control(fd, request, static_cast<int*>(argument)))
        return 0;
    static const auto real = next<int (*)(int, unsigned long, ...)>("ioctl");
    return real(fd, request, argument);
}

} // extern "C"

class tst_ModemLines : public QObject {
    Q_OBJECT

private slots:
    void oneRisePerOpeningAndDroppedOnlyWhileClosed();
};

// A falling edge of DTR resets many devices: the lines rise once with each opening, stay up while
// the port is open, and are down only in the closed interval of the port cycle.
void tst_ModemLines::oneRisePerOpeningAndDroppedOnlyWhileClosed() {
    SimulatorProcess sim;
    QVERIFY(!sim.devicePath().isEmpty());
    RealLink real(sim.devicePath());
    const QStringList opening{"open", "DTR rises", "RTS rises"};
    const QStringList closing{"DTR falls", "RTS falls", "close"};

    QCOMPARE(real.link.choosePort(1), Outcome::Completed);
    QCOMPARE(Lines::instance().take(), opening);

    QCOMPARE(real.link.CyclePort(), Outcome::Completed);
    QCOMPARE(Lines::instance().take(), closing + opening);

    QCOMPARE(real.link.choosePort(1), Outcome::Completed); // the same port chosen again
    QCOMPARE(Lines::instance().take(), closing + opening);

    real.link.shutDown();
    QCOMPARE(Lines::instance().take(), closing);
    QVERIFY(!real.link.lastFailure().isError());
}

QTEST_GUILESS_MAIN(tst_ModemLines)
#include "tst_ModemLines.moc"
