#include "CuttableProxy.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace tavrin::test {

// The relay itself, on the proxy's thread: one pair of sockets a connection.
class ProxyRelay : public QObject {
public:
    explicit ProxyRelay(quint16 serverPort)
        : m_serverPort(serverPort) {}

    quint16 listen() {
        m_listener = new QTcpServer(this);
        connect(m_listener, &QTcpServer::newConnection, this, &ProxyRelay::accept);
        return m_listener->listen(QHostAddress::LocalHost) ? m_listener->serverPort() : 0;
    }
    void cut(CuttableProxy::Cut how) {
        m_cut = how;
        m_isCut = true;
        for (Pair& pair : m_pairs)
            pair.held = true;
    }
    int restore() {
        std::vector<Pair> held;
        std::erase_if(m_pairs, [&held](Pair& pair) {
            if (pair.held)
                held.push_back(pair);
            return pair.held;
        });
        m_isCut = false;
        for (Pair& pair : held)
            for (QTcpSocket* socket : {pair.client.data(), pair.server.data()})
                if (socket) {
                    socket->abort();
                    socket->deleteLater();
                }
        relayAll();
        return int(held.size());
    }

private:
    struct Pair {
        QPointer<QTcpSocket> client, server;
        bool held = false;
    };

    void accept() {
        while (QTcpSocket* client = m_listener->nextPendingConnection()) {
            auto* server = new QTcpSocket(this);
            client->setParent(this);
            m_pairs.push_back({client, server, m_isCut});
            for (QTcpSocket* socket : {client, server}) {
                connect(socket, &QTcpSocket::readyRead, this, &ProxyRelay::relayAll);
                connect(socket, &QTcpSocket::connected, this, &ProxyRelay::relayAll);
                connect(socket, &QTcpSocket::disconnected, this, &ProxyRelay::relayAll);
            }
            server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        }
    }
    // Moves what may pass, and closes a side whose other side has gone. A socket may signal from
    // inside a call made here; that asks for one more pass rather than a pass inside this one.
    void relayAll() {
        if (m_relaying) {
            m_again = true;
            return;
        }
        m_relaying = true;
        do {
            m_again = false;
            relayOnce();
        } while (m_again);
        m_relaying = false;
    }
    void relayOnce() {
        for (Pair& pair : m_pairs) {
            if (!pair.client || !pair.server)
                continue;
            const bool up = pair.server->state() == QAbstractSocket::ConnectedState;
            if (up && !(pair.held && m_isCut && m_cut == CuttableProxy::Cut::BothWays))
                pair.server->write(pair.client->readAll());
            if (up && !(pair.held && m_isCut))
                pair.client->write(pair.server->readAll());
            if (pair.held && m_isCut)
                continue;
            if (pair.client->state() == QAbstractSocket::UnconnectedState)
                pair.server->disconnectFromHost();
            if (pair.server->state() == QAbstractSocket::UnconnectedState &&
                pair.server->error() != QAbstractSocket::UnknownSocketError)
                pair.client->disconnectFromHost();
        }
        std::erase_if(m_pairs, [](const Pair& pair) {
            const bool gone = !pair.client || !pair.server ||
                              (pair.client->state() == QAbstractSocket::UnconnectedState &&
                               pair.server->state() == QAbstractSocket::UnconnectedState);
            if (gone)
                for (QTcpSocket* socket : {pair.client.data(), pair.server.data()})
                    if (socket)
                        socket->deleteLater();
            return gone;
        });
    }

    quint16 m_serverPort;
    QTcpServer* m_listener = nullptr;
    std::vector<Pair> m_pairs;
    bool m_isCut = false, m_relaying = false, m_again = false;
    CuttableProxy::Cut m_cut = CuttableProxy::Cut::BothWays;
};

CuttableProxy::CuttableProxy(quint16 serverPort)
    : m_relay(new ProxyRelay(serverPort)) {
    m_relay->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_relay, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_relay, [this] { m_port = m_relay->listen(); }, Qt::BlockingQueuedConnection);
}

CuttableProxy::~CuttableProxy() {
    m_thread.quit();
    m_thread.wait();
}

void CuttableProxy::cut(Cut how) {
    QMetaObject::invokeMethod(
        m_relay, [this, how] { m_relay->cut(how); }, Qt::BlockingQueuedConnection);
}

int CuttableProxy::restore() {
    int dropped = 0;
    QMetaObject::invokeMethod(
        m_relay, [this, &dropped] { dropped = m_relay->restore(); }, Qt::BlockingQueuedConnection);
    return dropped;
}

} // namespace tavrin::test
