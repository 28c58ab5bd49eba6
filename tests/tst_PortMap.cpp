#include "platform/PortMap.h"

#include "cli/PortArgument.h"

#include <QTest>

using tavrin::PortArgument;
using tavrin::PortMap;

class tst_PortMap : public QObject {
    Q_OBJECT

private slots:
    void deviceFor_data();
    void deviceFor();
    void portArgument_data();
    void portArgument();
};

void tst_PortMap::deviceFor_data() {
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QString>("variables"); // name=value;name=value
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");

    const QStringList mixed{"/dev/ttyS0", "/dev/ttyUSB10", "/dev/ttyS1", "/dev/ttyUSB2",
                            "/dev/ttyACM0"};
    QTest::newRow("windows is COMn") << true << "" << QStringList{} << 3 << "COM3";
    QTest::newRow("windows ignores the variables")
        << true << "TAVRIN_COM1=/dev/x" << QStringList{} << 1 << "COM1";
    QTest::newRow("variable wins")
        << false << "TAVRIN_COM2=/dev/pts/7" << mixed << 2 << "/dev/pts/7";
    QTest::newRow("variable of another port is ignored")
        << false << "TAVRIN_COM2=/dev/pts/7" << mixed << 1 << "/dev/ttyACM0";
    QTest::newRow("adapters first, ACM before USB") << false << "" << mixed << 1 << "/dev/ttyACM0";
    QTest::newRow("natural order: ttyUSB2 before ttyUSB10")
        << false << "" << mixed << 2 << "/dev/ttyUSB2";
    QTest::newRow("then ttyUSB10") << false << "" << mixed << 3 << "/dev/ttyUSB10";
    QTest::newRow("built-in UARTs after adapters") << false << "" << mixed << 4 << "/dev/ttyS0";
    QTest::newRow("no device behind the number") << false << "" << mixed.mid(0, 2) << 3 << "";
    QTest::newRow("no ports at all") << false << "" << QStringList{} << 1 << "";
    QTest::newRow("UARTs in natural order")
        << false << "" << QStringList{"/dev/ttyS10", "/dev/ttyS9"} << 1 << "/dev/ttyS9";
    QTest::newRow("port 0 is no port") << false << "" << mixed << 0 << "";
}

void tst_PortMap::deviceFor() {
    QFETCH(bool, windows);
    QFETCH(QString, variables);
    QFETCH(QStringList, present);
    QFETCH(int, port);
    QFETCH(QString, device);

    QHash<QString, QString> values;
    for (const QString& pair : variables.split(u';', Qt::SkipEmptyParts))
        values.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    PortMap::Environment environment;
    environment.system = windows ? PortMap::System::Windows : PortMap::System::Unix;
    environment.variable = [&](const QString& name) { return values.value(name); };
    environment.presentPorts = present;

    QCOMPARE(PortMap::deviceFor(port, environment), device);
}

void tst_PortMap::portArgument_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<PortArgument::Kind>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    using Kind = PortArgument::Kind;
    QTest::newRow("number") << "3" << Kind::Number << 3 << "";
    QTest::newRow("number beyond Com4") << "5" << Kind::Invalid << 0 << "";
    QTest::newRow("Linux device") << "/dev/ttyUSB0" << Kind::Device << 0 << "/dev/ttyUSB0";
    QTest::newRow("Windows port") << "COM12" << Kind::Device << 0 << "COM12";
    QTest::newRow("Windows device path") << "\\\\.\\COM12" << Kind::Device << 0 << "COM12";
    QTest::newRow("Windows device path of nothing") << "\\\\.\\" << Kind::Invalid << 0 << "";
}

void tst_PortMap::portArgument() {
    QFETCH(QString, given);
    QFETCH(PortArgument::Kind, kind);
    QFETCH(int, number);
    QFETCH(QString, device);

    const PortArgument parsed = PortArgument::parse(given);

    QCOMPARE(parsed.kind, kind);
    QCOMPARE(parsed.number, number);
    QCOMPARE(parsed.device, device);
}

QTEST_GUILESS_MAIN(tst_PortMap)
#include "tst_PortMap.moc"
