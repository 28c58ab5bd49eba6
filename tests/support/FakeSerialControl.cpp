#include "FakeSerialControl.h"

#include "devsim/DeviceModel.h"

namespace tavrin::test {

namespace {

QString truth(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

FakeSerialControl::FakeSerialControl(VirtualTime& time, DeviceModel* device)
    : m_time(time)
    , m_device(device) {
    for (int port = 1; port <= 4; ++port)
        m_devices[port] = QStringLiteral("/dev/ttyFAKE%1").arg(port);
}

void FakeSerialControl::setCommPort(int port) {
    log(QStringLiteral("CommPort=%1").arg(port));
    m_commPort = port;
    m_selected = m_devices.value(port);
}

void FakeSerialControl::selectDevice(const QString& device) {
    log("Device=" + device);
    m_commPort = 0;
    m_selected = device;
}

PortError FakeSerialControl::open() {
    log(QStringLiteral("PortOpen=True"));
    if (deviceName().isEmpty())
        return {PortError::Kind::NotPresent, {}, {}};
    if (m_unplugged)
        return {PortError::Kind::NotPresent, deviceName(),
                QStringLiteral("No such file or directory")};
    if (m_openError.isError()) {
        PortError error = m_openError;
        error.device = deviceName();
        return error;
    }
    m_open = true;
    m_dtr = m_rts = LineLevel::Raised;
    ++m_session;
    m_input.clear();
    if (m_device)
        m_device->reset();
    return {};
}

void FakeSerialControl::close() {
    log(QStringLiteral("PortOpen=False"));
    m_open = false;
    m_dtr = m_rts = LineLevel::Dropped;
    m_input.clear();
}

PortError FakeSerialControl::setDtr(LineLevel level) {
    return setLine("DTREnable", m_dtr, level);
}

PortError FakeSerialControl::setRts(LineLevel level) {
    return setLine("RTSEnable", m_rts, level);
}

PortError FakeSerialControl::setLine(const char* name, LineLevel& line, LineLevel level) {
    log(QStringLiteral("%1=%2").arg(QLatin1String(name), truth(level == LineLevel::Raised)));
    if (!m_open)
        return {};
    if (m_lineError.isError()) {
        PortError error = m_lineError;
        error.device = deviceName();
        return error;
    }
    line = level;
    return {};
}

PortError FakeSerialControl::output(const QByteArray& bytes) {
    log(QStringLiteral("Output=%1").arg(QString::fromLatin1(bytes.toHex())));
    if (!m_open)
        return {PortError::Kind::Failed, deviceName(), QStringLiteral("the port is not open")};
    m_outputs.push_back({m_time.now(), bytes});
    deliver(bytes);
    return {};
}

QByteArray FakeSerialControl::input() {
    log(QStringLiteral("Input"));
    return std::exchange(m_input, {});
}

void FakeSerialControl::failOpens(PortError::Kind kind, const QString& detail) {
    m_openError = {kind, {}, detail};
}

void FakeSerialControl::failLines(PortError::Kind kind, const QString& detail) {
    m_lineError = {kind, {}, detail};
}

void FakeSerialControl::arriveIn(VirtualTime::Duration delay, const QByteArray& bytes) {
    const int session = m_session;
    m_time.scheduleIn(delay, [this, session, bytes] {
        if (m_open && m_session == session)
            m_input += bytes;
    });
}

void FakeSerialControl::unplug() {
    m_unplugged = true;
    if (!m_open)
        return;
    m_open = false;
    m_dtr = m_rts = LineLevel::Dropped;
    m_input.clear();
    const PortError error{PortError::Kind::Failed, deviceName(),
                          QStringLiteral("Input/output error")};
    m_time.scheduleIn({}, [this, error] { emit failed(error); });
}

QByteArray FakeSerialControl::sentBytes() const {
    QByteArray all;
    for (const Sent& sent : m_outputs)
        all += sent.bytes;
    return all;
}

void FakeSerialControl::deliver(const QByteArray& bytes) {
    if (!m_device)
        return;
    const DeviceModel::Response response = m_device->receive(bytes, m_time.now());
    VirtualTime::Duration delay{0};
    for (const DeviceModel::Piece& piece : response.reply) {
        delay += piece.delay;
        for (char byte : piece.bytes) {
            delay += ByteTime;
            arriveIn(delay, QByteArray(1, byte));
        }
    }
    if (response.hangUp)
        unplug();
}

} // namespace tavrin::test
