#include "SimulatorProcess.h"

#include <QDeadlineTimer>

#include <csignal>

namespace tavrin::test {

SimulatorProcess::SimulatorProcess(QStringList arguments) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TAVRIN_DEVSIM_PATH), arguments);
    const QDeadlineTimer deadline(10000);
    while (m_devicePath.isEmpty() && !deadline.hasExpired() &&
           m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(int(deadline.remainingTime()));
        collect();
        if (!m_events.isEmpty())
            m_devicePath = m_events.takeFirst();
    }
}

SimulatorProcess::~SimulatorProcess() {
    stop();
}

QStringList SimulatorProcess::events() {
    collect();
    return m_events;
}

bool SimulatorProcess::waitForEvent(const QString& line, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!events().contains(line)) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return events().contains(line);
        m_process.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 50)));
    }
    return true;
}

bool SimulatorProcess::waitForExit(int timeoutMs) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

bool SimulatorProcess::unplug() {
    return signalAndWait(SIGUSR1, QStringLiteral("unplugged"));
}

bool SimulatorProcess::plugIn() {
    return signalAndWait(SIGUSR2, QStringLiteral("plugged "));
}

bool SimulatorProcess::signalAndWait(int signal, const QString& saying) {
    auto said = [&] { return events().filter(saying).size(); };
    const qsizetype before = said();
    ::kill(pid_t(m_process.processId()), signal);
    const QDeadlineTimer deadline(10000);
    while (said() == before && !deadline.hasExpired())
        m_process.waitForReadyRead(50);
    return said() > before;
}

void SimulatorProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

void SimulatorProcess::collect() {
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        m_events << QString::fromLocal8Bit(m_pending.left(end));
        m_pending.remove(0, end + 1);
    }
}

} // namespace tavrin::test
