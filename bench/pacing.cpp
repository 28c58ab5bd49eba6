// Measures the pacing of the write pass on the real tick source and event loop, with no port: a
// serial control timestamps every byte handed to it, and the device model answers at once. Runs
// wherever the program runs, also where no serial line can be had (Wine, a machine without ports).
// Usage: tavrin-pacing [--runs N]

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "RandomImage.h"

#include "commands/Engine.h"
#include "devsim/DeviceModel.h"
#include "link/WireFormat.h"
#include "platform/QtMessagePump.h"
#include "platform/QtTickSource.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A port that is always there: it stamps what is sent and lets the device model answer.
class StampingSerialControl : public tavrin::SerialControl {
public:
    struct Sent {
        Clock::time_point at;
        QByteArray bytes;
    };

    void setCommPort(int port) override { m_port = port; }
    void selectDevice(const QString&) override { m_port = 0; }
    int commPort() const override { return m_port; }
    QString deviceName() const override { return QStringLiteral("stamping serial control"); }
    QString deviceFor(int) const override { return deviceName(); }
    tavrin::PortError open() override {
        m_open = true;
        m_device.reset();
        return {};
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    tavrin::PortError setDtr(tavrin::LineLevel) override { return {}; }
    tavrin::PortError setRts(tavrin::LineLevel) override { return {}; }
    tavrin::PortError output(const QByteArray& bytes) override {
        const Clock::time_point at = Clock::now();
        m_sent.push_back({at, bytes});
        const auto sinceStart =
            std::chrono::duration_cast<tavrin::DeviceModel::Time>(at - m_started);
        for (const auto& piece : m_device.receive(bytes, sinceStart).reply)
            m_input += piece.bytes;
        return {};
    }
    qint64 inBufferCount() const override { return m_input.size(); }
    QByteArray input() override { return std::exchange(m_input, {}); }
    void discardInput() override { m_input.clear(); }

    const std::vector<Sent>& sent() const { return m_sent; }
    int bytesLost() const { return m_device.bytesLost(); }

private:
    tavrin::DeviceModel m_device;
    Clock::time_point m_started = Clock::now();
    int m_port = 1;
    bool m_open = false;
    QByteArray m_input;
    std::vector<Sent> m_sent;
};

// The gaps between the data bytes of every write transfer (the bytes after each ESC "D").
std::vector<double> dataByteGaps(const std::vector<StampingSerialControl::Sent>& sent) {
    std::vector<double> gaps;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].bytes != tavrin::Wire::WriteAll)
            continue;
        for (size_t j = i + 2; j < sent.size() && j <= i + tavrin::Wire::EepromSize; ++j)
            gaps.push_back(
                std::chrono::duration<double, std::milli>(sent[j].at - sent[j - 1].at).count());
    }
    return gaps;
}

double at(const std::vector<double>& sorted, double share) {
    return sorted[std::min(sorted.size() - 1, size_t(share * double(sorted.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char* argv[]) {
    tavrin::QtMessagePump::prepareApplication();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Pacing of the write pass on the real tick source, no port.");
    parser.addHelpOption();
    parser.addOption({"runs", "Write-and-verify commands to time (default 10).", "n", "10"});
    parser.process(app);
    const int runs = std::max(1, parser.value("runs").toInt());

    tavrin::QtMessagePump pump;
    tavrin::QtTickSource timer1;
    StampingSerialControl comm;
    tavrin::test::FakeFileDialog files;
    tavrin::Engine engine({pump, timer1, comm, files});
    QTemporaryDir dir;
    const QString image = dir.filePath("image.bin");
    files.chooseAlways(image);

    int failures = engine.runner().choosePort(1).end == tavrin::CommandEnd::Done ? 0 : 1;
    for (int run = 0; run < runs; ++run) {
        (void)tavrin::test::writeRandomImage(image);
        const tavrin::CommandResult result = engine.runner().writeAndVerify();
        failures += result.end != tavrin::CommandEnd::Done || !result.differences.isEmpty();
    }

    std::vector<double> gaps = dataByteGaps(comm.sent());
    std::sort(gaps.begin(), gaps.end());
    if (gaps.empty()) {
        std::fprintf(stderr, "tavrin-pacing: no write transfer was sent\n");
        return 1;
    }
    std::printf("runs %d, failures %d, bytes lost %d\n", runs, failures, comm.bytesLost());
    std::printf("gap between data bytes, as sent: min %.3f  median %.3f  p99 %.3f  max %.3f ms "
                "(%zu gaps)\n",
                gaps.front(), at(gaps, 0.5), at(gaps, 0.99), gaps.back(), gaps.size());
    return failures == 0 && gaps.front() >= 10.0 ? 0 : 1;
}
