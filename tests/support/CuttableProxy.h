#pragma once

#include <QThread>

namespace tavrin::test {

class ProxyRelay;

// A TCP relay between the benches and a server that a test can cut as a network is cut: while cut,
// nothing passes (or nothing comes back); when the cut ends, every connection that lived through
// it is dropped, as when a router loses its state, and new ones pass again. It relays on a thread
// of its own, so that a test blocked in a wait does not stall the benches.
class CuttableProxy {
public:
    enum class Cut { BothWays, AnswersOnly };

    explicit CuttableProxy(quint16 serverPort);
    ~CuttableProxy();
    quint16 port() const { return m_port; }
    void cut(Cut how = Cut::BothWays);
    // Ends the cut; the number of connections it dropped.
    int restore();

private:
    QThread m_thread;
    ProxyRelay* m_relay = nullptr;
    quint16 m_port = 0;
};

} // namespace tavrin::test
