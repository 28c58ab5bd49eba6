// tavrin-devsim: a simulated device on a pseudo-terminal, for the demo, the tests and anyone
// without hardware.

#include "devsim/DeviceModel.h"
#include "devsim/PtyDevice.h"
#include "image/ImageFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sched.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t unplugRequested = 0;
volatile std::sig_atomic_t plugRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

void requestUnplug(int) {
    unplugRequested = 1;
}

void requestPlug(int) {
    plugRequested = 1;
}

int intOption(const QCommandLineParser& parser, const QString& name, int fallback) {
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < 0) {
        std::fprintf(stderr, "tavrin-devsim: --%s takes a whole number\n", qPrintable(name));
        std::exit(2);
    }
    return value;
}

// The device judges the pacing by when it reads each byte: a reader kept waiting by other work on
// the machine would read two well-paced bytes at once and call the second lost. Where the system
// permits (root, or an RLIMIT_RTPRIO), the simulator reads at a real-time priority; it only ever
// sleeps in ppoll, so it takes no processor time from anyone.
bool readAtRealTimePriority() {
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO) + 9;
    return ::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &priority) == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-devsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated device with a 64-byte data EEPROM on a pseudo-terminal.\n"
                       "Prints the device path as the first line of its output, then one line "
                       "per event; serves until SIGINT or SIGTERM.\n"
                       "SIGUSR1 takes the unit off the line (\"unplugged\"); SIGUSR2 puts the "
                       "next one on it, its cells all FF (\"plugged N\")."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("image"),
         QStringLiteral("Start from the cells in <file>, and write them back after every "
                        "completed write transfer."),
         QStringLiteral("file")},
        {QStringLiteral("cell-ms"),
         QStringLiteral("Time to write one cell; a byte arriving sooner is lost (default 5)."),
         QStringLiteral("ms")},
        {QStringLiteral("silent"), QStringLiteral("Never answer a read.")},
        {QStringLiteral("split"), QStringLiteral("Send each reply in <n> pieces."),
         QStringLiteral("n")},
        {QStringLiteral("split-gap"),
         QStringLiteral("Pause between the pieces of a reply (default 50)."), QStringLiteral("ms")},
        {QStringLiteral("extra"), QStringLiteral("Send these bytes after every reply."),
         QStringLiteral("hex")},
        {QStringLiteral("announce"),
         QStringLiteral("Announce <n> (0..255) bytes in every reply, whatever follows."),
         QStringLiteral("n")},
        {QStringLiteral("reply-bytes"),
         QStringLiteral("Stop every reply after <n> bytes, the count byte included."),
         QStringLiteral("n")},
        {QStringLiteral("timestamps"),
         QStringLiteral("After every write transfer, print when each data byte arrived "
                        "(microseconds of the monotonic clock).")},
        {QStringLiteral("stuck-cell"),
         QStringLiteral("Cell <n> (0..63) keeps its old value when written."), QStringLiteral("n")},
        {QStringLiteral("stuck-unit"),
         QStringLiteral("Only unit <n> (1 is the first on the line) has the stuck cell."),
         QStringLiteral("n")},
        {QStringLiteral("unplugged"), QStringLiteral("Start with no unit on the line.")},
        {QStringLiteral("hang-up-after"),
         QStringLiteral("Hang up after <n> data bytes of a write transfer."), QStringLiteral("n")},
    });
    parser.process(app);

    tavrin::DeviceFaults faults;
    faults.silent = parser.isSet(QStringLiteral("silent"));
    faults.replyPieces = intOption(parser, QStringLiteral("split"), 1);
    faults.pieceGap = std::chrono::milliseconds(intOption(parser, QStringLiteral("split-gap"), 50));
    faults.extraBytes = QByteArray::fromHex(parser.value(QStringLiteral("extra")).toLatin1());
    faults.announcedCount = std::min(intOption(parser, QStringLiteral("announce"), -1), 255);
    faults.replyBytes = intOption(parser, QStringLiteral("reply-bytes"), -1);
    faults.stuckCell = intOption(parser, QStringLiteral("stuck-cell"), -1);
    faults.hangUpAfter = intOption(parser, QStringLiteral("hang-up-after"), -1);
    faults.stuckUnit = intOption(parser, QStringLiteral("stuck-unit"), 0);

    tavrin::DeviceModel model(faults);
    model.setCellWriteTime(
        std::chrono::milliseconds(intOption(parser, QStringLiteral("cell-ms"), 5)));
    const QString image = parser.value(QStringLiteral("image"));
    if (!image.isEmpty() && QFileInfo::exists(image)) {
        const auto loaded = tavrin::ImageFile::read(image);
        if (!loaded.ok()) {
            std::fprintf(stderr, "tavrin-devsim: %s is not a usable image: %s\n", qPrintable(image),
                         qPrintable(loaded.problem.reason));
            return 1;
        }
        model.setCells(loaded.bytes);
    }
    if (parser.isSet(QStringLiteral("unplugged")))
        model.unplug();

    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGUSR1);
    sigaddset(&blocked, SIGUSR2);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = requestUnplug;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = requestPlug;
    sigaction(SIGUSR2, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    tavrin::PtyDevice device(model, image);
    if (parser.isSet(QStringLiteral("timestamps")))
        device.reportArrivals();
    QString error;
    const QString path = device.open(&error);
    if (path.isEmpty()) {
        std::fprintf(stderr, "tavrin-devsim: cannot create a pseudo-terminal: %s\n",
                     qPrintable(error));
        return 1;
    }
    if (!readAtRealTimePriority())
        std::fprintf(stderr, "tavrin-devsim: no real-time priority here; on a busy machine a late "
                             "read may call a well-paced byte lost\n");
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    device.serve(stopRequested, waitMask, [&model] {
        if (unplugRequested) {
            unplugRequested = 0;
            model.unplug();
            std::printf("unplugged\n");
        }
        if (plugRequested) {
            plugRequested = 0;
            model.plugIn();
            std::printf("plugged %d\n", model.unit());
        }
        std::fflush(stdout);
    });
    return 0;
}
