// Measures the pacing on the wire, the tick counts, the wall and processor time of each command
// and the program's start-up, against tavrin-devsim on a pseudo-terminal.
// Usage: tavrin-bench [--runs N] [--json FILE]

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "RandomImage.h"
#include "SimulatorProcess.h"

#include "app/Program.h"
#include "image/ImageFile.h"
#include "link/PacingTimer.h"
#include "link/WireFormat.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

namespace {

using Ms = std::chrono::duration<double, std::milli>;

constexpr Ms ByteTime = tavrin::Wire::ByteTime;
constexpr int ReplyBytes = tavrin::Wire::EepromSize + 1;
constexpr int PortCycleTicks = 100;
constexpr int WriteAndVerifyTicks = 67;

struct Summary {
    double min = 0, median = 0, p99 = 0, max = 0;
};

Summary summarise(std::vector<double> values) {
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const auto at = [&](double share) {
        return values[std::min(values.size() - 1, size_t(share * double(values.size() - 1) + 0.5))];
    };
    return {values.front(), at(0.5), at(0.99), values.back()};
}

Ms processorTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return Ms(1000.0 * (seconds(usage.ru_utime) + seconds(usage.ru_stime)));
}

// Wall and processor time of one call.
struct Timing {
    double wallMs = 0;
    double cpuShare = 0;
};

template <typename Call> Timing timed(Call call) {
    const Ms cpuBefore = processorTime();
    QElapsedTimer wall;
    wall.start();
    call();
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    return {wallMs, (processorTime() - cpuBefore).count() / wallMs};
}

// The ticks of one write-and-verify, split where the status shows the steps.
struct TickCounts {
    int writePass = 0;      // "Write Started" to "Verify Started"
    int writeAndVerify = 0; // "Write Started" to the port closing for the cycle
    int portCycle = 0;      // the port closing to the verdict
};

class Recorder {
public:
    explicit Recorder(tavrin::Program& program)
        : m_program(program) {
        QObject::connect(&program.panel(), &tavrin::StatusPanel::captionChanged,
                         [this](const QString& caption) {
                             mark(caption);
                             if (caption == "Write Started")
                                 m_writing = true;
                             if (caption == "Verify Started")
                                 m_writing = false;
                         });
        // Progress is reported straight after each data byte is handed to the system.
        QObject::connect(&program.engine().reporter(), &tavrin::CommandReporter::progressed,
                         [this](const tavrin::Progress& progress) {
                             if (m_writing && progress.pass == tavrin::Progress::Pass::Write &&
                                 progress.bytesDone > 0)
                                 m_steps.push_back(std::chrono::steady_clock::now());
                         });
        QObject::connect(&program.link(), &tavrin::SerialLink::portChanged, [this] {
            if (!m_program.link().PortOpen())
                mark(QStringLiteral("port closed"));
        });
    }
    void clear() {
        m_marks.clear();
        m_steps.clear();
    }
    // The gaps between the progress steps of the write pass.
    std::vector<double> stepGaps() const {
        std::vector<double> gaps;
        for (size_t i = 1; i < m_steps.size(); ++i)
            gaps.push_back(Ms(m_steps[i] - m_steps[i - 1]).count());
        return gaps;
    }
    int ticksBetween(const QString& from, const QString& to) const {
        return m_marks.value(to, -1) - m_marks.value(from, 0);
    }

private:
    void mark(const QString& what) { m_marks.insert(what, m_program.timer1().ticks()); }

    tavrin::Program& m_program;
    QHash<QString, int> m_marks;
    bool m_writing = false;
    std::vector<std::chrono::steady_clock::time_point> m_steps;
};

struct Startup {
    std::vector<double> shownMs;
    long peakKiB = 0;
    bool allShown = true;
};

// Starts the program over and again until its window is shown; the peak resident memory comes
// from the kernel's accounting of the children reaped.
Startup measureStartup(int runs) {
    Startup startup;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TAVRIN_QUIT_WHEN_SHOWN", "1");
    if (!environment.contains("QT_QPA_PLATFORM"))
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    for (int i = 0; i < runs; ++i) {
        QProcess program;
        program.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        program.start(QCoreApplication::applicationDirPath() + "/tavrin");
        while (!program.canReadLine() && program.waitForReadyRead(5000)) {
        }
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        startup.allShown = startup.allShown && program.readLine().trimmed() == "shown";
        program.waitForFinished(5000);
        startup.shownMs.push_back(ms);
    }
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    startup.peakKiB = children.ru_maxrss;
    return startup;
}

std::vector<double> byteGaps(const QStringList& events) {
    std::vector<double> gaps;
    for (const QString& line : events) {
        if (!line.startsWith("arrivals "))
            continue;
        const QStringList times = line.mid(9).split(u' ');
        for (qsizetype i = 1; i < times.size(); ++i)
            gaps.push_back(double(times[i].toLongLong() - times[i - 1].toLongLong()) / 1000.0);
    }
    return gaps;
}

int bytesLost(const QStringList& events) {
    int lost = 0;
    for (const QString& line : events)
        if (line.startsWith("written lost="))
            lost += line.mid(13).toInt();
    return lost;
}

QJsonObject toJson(const Summary& s) {
    return {{"min", s.min}, {"median", s.median}, {"p99", s.p99}, {"max", s.max}};
}

// `tavrin write` as a script runs it, against a simulator of its own: the wall time of each
// process, and the gaps between data bytes on arrival.
struct CommandLineWrites {
    std::vector<double> wallMs;
    QStringList events;
    int failures = 0;
};

CommandLineWrites measureCommandLineWrites(int runs, const QString& folder) {
    CommandLineWrites measured;
    tavrin::test::SimulatorProcess sim({"--timestamps", "--image", folder + "/cli-device.bin"});
    const QString image = folder + "/cli-image.bin";
    for (int run = 0; run < runs; ++run) {
        (void)tavrin::test::writeRandomImage(image);
        QProcess tavrin;
        QElapsedTimer clock;
        clock.start();
        tavrin.start(QCoreApplication::applicationDirPath() + "/tavrin",
                     {"write", "--quiet", "--port", sim.devicePath(), image});
        const bool ended = tavrin.waitForFinished(60000);
        measured.wallMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        measured.failures += !ended || tavrin.exitCode() != 0;
    }
    sim.stop();
    measured.events = sim.events();
    return measured;
}

void print(const char* what, const Summary& s, const char* unit) {
    std::printf("%-34s min %9.3f  median %9.3f  p99 %9.3f  max %9.3f %s\n", what, s.min, s.median,
                s.p99, s.max, unit);
}

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    tavrin::QtMessagePump::prepareApplication();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Pacing, tick counts, timing and start-up of Tavrin.");
    parser.addHelpOption();
    parser.addOptions({{"runs", "Commands of each kind to time (default 10).", "n", "10"},
                       {"json", "Also write the figures to <file>.", "file"}});
    parser.process(app);
    const int runs = std::max(1, parser.value("runs").toInt());

    const Startup startup = measureStartup(runs);

    QTemporaryDir dir;
    tavrin::test::SimulatorProcess sim({"--timestamps", "--image", dir.filePath("device.bin")});
    if (sim.devicePath().isEmpty()) {
        std::fprintf(stderr, "tavrin-bench: the simulator did not start\n");
        return 1;
    }
    tavrin::test::FakeFileDialog dialog;
    tavrin::test::FakeMessageBox messages;
    messages.setWhileShown([](const auto& shown) {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(shown.title),
                     qPrintable(shown.prompt));
    });
    tavrin::Program program(
        {[&](int port) { return port == 1 ? sim.devicePath() : QString(); }, &dialog, &messages});
    Recorder recorder(program);
    program.window().show();
    program.window().Com(0)->click();

    std::vector<double> writePassTicks, writeAndVerifyTicks, cycleTicks;
    std::vector<double> writeMs, writeCpu, readMs, readCpu, sendGaps;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        const QByteArray image = tavrin::test::writeRandomImage(dir.filePath("written.bin"));
        dialog.chooseAlways(dir.filePath("written.bin"));
        recorder.clear();
        const Timing write = timed([&] { program.window().OWEE()->click(); });
        failures += program.window().Label4()->text() != "Verify Completed";
        writeMs.push_back(write.wallMs);
        writeCpu.push_back(100.0 * write.cpuShare);
        const std::vector<double> steps = recorder.stepGaps();
        sendGaps.insert(sendGaps.end(), steps.begin(), steps.end());
        writePassTicks.push_back(recorder.ticksBetween("Write Started", "Verify Started"));
        writeAndVerifyTicks.push_back(recorder.ticksBetween("Write Started", "port closed"));
        cycleTicks.push_back(recorder.ticksBetween("port closed", "Verify Completed"));

        const QString saved = dir.filePath("saved.bin");
        dialog.chooseAlways(saved);
        const Timing read = timed([&] { program.window().RSEE()->click(); });
        failures += tavrin::ImageFile::read(saved).bytes != image;
        readMs.push_back(read.wallMs);
        readCpu.push_back(100.0 * read.cpuShare);
    }
    program.window().close();
    sim.stop();
    const QStringList events = sim.events();
    const CommandLineWrites cli = measureCommandLineWrites(runs, dir.path());
    failures += cli.failures;

    const double tick = Ms(tavrin::PacingTimer::TickInterval).count();
    const double writeNominal =
        (WriteAndVerifyTicks + PortCycleTicks) * tick + ReplyBytes * ByteTime.count();
    const double readNominal = PortCycleTicks * tick + ReplyBytes * ByteTime.count();
    const Summary gaps = summarise(byteGaps(events));
    const Summary write = summarise(writeMs);
    const Summary read = summarise(readMs);
    const Summary shown = summarise(startup.shownMs);

    std::printf("platform %s, runs %d, failures %d, bytes lost %d, messages %d\n",
                qPrintable(QGuiApplication::platformName()), runs, failures, bytesLost(events),
                int(messages.shown().size()));
    print("gap between data bytes, on arrival", gaps, "ms");
    print("gap between data bytes, as sent", summarise(sendGaps), "ms");
    print("ticks of the write pass", summarise(writePassTicks), "");
    print("ticks of write-and-verify", summarise(writeAndVerifyTicks), "");
    print("ticks of the port cycle", summarise(cycleTicks), "");
    print("write-and-verify-and-cycle", write, "ms");
    std::printf("%-34s nominal %.1f ms, median/nominal %.4f\n", "", writeNominal,
                write.median / writeNominal);
    print("read-and-save", read, "ms");
    std::printf("%-34s nominal %.1f ms, median/nominal %.4f\n", "", readNominal,
                read.median / readNominal);
    print("processor time, write-and-verify", summarise(writeCpu), "% of wall");
    print("processor time, read-and-save", summarise(readCpu), "% of wall");
    print("tavrin write, gap on arrival", summarise(byteGaps(cli.events)), "ms");
    print("tavrin write, process wall time", summarise(cli.wallMs), "ms");
    std::printf("%-34s nominal %.1f ms (write-and-verify-and-cycle), bytes lost %d\n", "",
                writeNominal, bytesLost(cli.events));
    print("start to window shown", shown, "ms");
    std::printf("%-34s %ld KiB%s\n", "peak resident memory of tavrin", startup.peakKiB,
                startup.allShown ? "" : " (a start did not show the window)");

    if (parser.isSet("json")) {
        const QJsonObject figures{
            {"platform", QGuiApplication::platformName()},
            {"runs", runs},
            {"failures", failures},
            {"bytesLost", bytesLost(events)},
            {"byteGapMs", toJson(gaps)},
            {"sentByteGapMs", toJson(summarise(sendGaps))},
            {"writePassTicks", toJson(summarise(writePassTicks))},
            {"writeAndVerifyTicks", toJson(summarise(writeAndVerifyTicks))},
            {"portCycleTicks", toJson(summarise(cycleTicks))},
            {"writeAndVerifyAndCycleMs", toJson(write)},
            {"writeAndVerifyAndCycleNominalMs", writeNominal},
            {"writeAndVerifyAndCycleRatio", write.median / writeNominal},
            {"readAndSaveMs", toJson(read)},
            {"readAndSaveNominalMs", readNominal},
            {"readAndSaveRatio", read.median / readNominal},
            {"writeAndVerifyCpuPercent", toJson(summarise(writeCpu))},
            {"readAndSaveCpuPercent", toJson(summarise(readCpu))},
            {"commandLineByteGapMs", toJson(summarise(byteGaps(cli.events)))},
            {"commandLineWriteMs", toJson(summarise(cli.wallMs))},
            {"commandLineBytesLost", bytesLost(cli.events)},
            {"startToShownMs", toJson(shown)},
            {"peakResidentKiB", qint64(startup.peakKiB)},
        };
        QFile out(parser.value("json"));
        if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(figures).toJson()) < 0) {
            std::fprintf(stderr, "tavrin-bench: cannot write %s\n",
                         qPrintable(parser.value("json")));
            return 1;
        }
    }
    return failures == 0 && startup.allShown ? 0 : 1;
}
