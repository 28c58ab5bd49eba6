#pragma once

#include <QProcess>
#include <QStringList>

namespace tavrin::test {

// tavrin-devsim running on a pseudo-terminal, with its event lines collected.
class SimulatorProcess {
public:
    explicit SimulatorProcess(QStringList arguments = {});
    ~SimulatorProcess();

    // Empty when the simulator did not start.
    QString devicePath() const { return m_devicePath; }
    // Event lines printed so far (after the device path).
    QStringList events();
    // Waits, with a generous bound, until an event line equal to `line` has been printed.
    bool waitForEvent(const QString& line, int timeoutMs = 10000);
    bool waitForExit(int timeoutMs = 10000);
    // Takes the unit off the line, or puts the next one on, and waits until the simulator says so.
    bool unplug();
    bool plugIn();
    void stop();

private:
    void collect();
    // Sends `signal`, then waits until one more event line says `saying`.
    bool signalAndWait(int signal, const QString& saying);

    QProcess m_process;
    QString m_devicePath;
    QByteArray m_pending;
    QStringList m_events;
};

} // namespace tavrin::test
