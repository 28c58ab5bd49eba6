#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

namespace tavrin {

// tavrin-devsim from beside the running tool; its event lines are read when it stops.
class BenchSimulator {
public:
    explicit BenchSimulator(const QStringList& options) {
        m_process.start(QCoreApplication::applicationDirPath() + "/tavrin-devsim", options);
        if (m_process.waitForReadyRead(5000))
            m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~BenchSimulator() { stop(); }
    BenchSimulator(const BenchSimulator&) = delete;
    BenchSimulator& operator=(const BenchSimulator&) = delete;

    // Empty when the simulator did not start.
    QString device() const { return m_device; }
    // Stops the simulator and returns every event line it printed.
    QList<QByteArray> stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(5000);
        }
        m_events += m_process.readAllStandardOutput();
        return m_events.split('\n');
    }

private:
    QProcess m_process;
    QString m_device;
    QByteArray m_events;
};

} // namespace tavrin
