#include "image/ImageFile.h"

#include "FileContents.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using tavrin::ImageFile;
using tavrin::test::fileContents;

namespace {

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class tst_ImageFile : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void saveReplacesWithoutAsking();
    void refusals_data();
    void refusals();
    void saveIntoAMissingFolder();
    void fullDiskLeavesTheOldFileIntact();
};

void tst_ImageFile::roundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << "empty.bin" << 0;
    QTest::newRow("one byte") << "one.bin" << 1;
    QTest::newRow("full image") << "full.bin" << 64;
    QTest::newRow("long image") << "long.bin" << 4096;
    QTest::newRow("no extension") << "image" << 64;
    QTest::newRow("spaces and non-ASCII") << QString::fromUtf8("Gerät Ölpumpe 3.bin") << 64;
}

void tst_ImageFile::roundTrip() {
    QFETCH(QString, name);
    QFETCH(int, size);
    QTemporaryDir dir;
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char(i * 7);
    const QString path = dir.filePath(name);

    QCOMPARE(ImageFile::write(path, bytes), QString());
    QCOMPARE(fileContents(path), bytes);
    const ImageFile::ReadResult read = ImageFile::read(path);
    QVERIFY(read.ok());
    QCOMPARE(read.bytes, bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

void tst_ImageFile::saveReplacesWithoutAsking() {
    QTemporaryDir dir;
    const QString path = dir.filePath("device.bin");
    put(path, QByteArray(64, 'x'));
    QCOMPARE(ImageFile::write(path, "short"), QString());
    QCOMPARE(fileContents(path), QByteArray("short"));
}

void tst_ImageFile::refusals_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::newRow("missing") << "missing"
                             << "does not exist";
    QTest::newRow("folder") << "folder"
                            << "is a folder";
    QTest::newRow("device node") << "device"
                                 << "not an ordinary file";
}

void tst_ImageFile::refusals() {
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QTemporaryDir dir;
    QString path = dir.filePath("typo.bin");
    if (kind == u"folder")
        QVERIFY(QDir(dir.path()).mkdir("typo.bin"));
    if (kind == u"device")
        path = QStringLiteral("/dev/null");

    const ImageFile::ReadResult read = ImageFile::read(path);

    QVERIFY(!read.ok());
    QVERIFY2(read.error.contains(said), qPrintable(read.error));
    QVERIFY(read.error.contains(path));
    if (kind == u"missing")
        QVERIFY2(!QFile::exists(path), "reading a missing image must not create it");
}

void tst_ImageFile::saveIntoAMissingFolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath("gone/device.bin");
    const QString error = ImageFile::write(path, "abc");
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(path), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

void tst_ImageFile::fullDiskLeavesTheOldFileIntact() {
    QTemporaryDir dir;
    const QString path = dir.filePath("device.bin");
    const QByteArray old(64, 'o');
    put(path, old);

    // A file size limit makes the disk "full" after 100 bytes.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &limit);
    const QString error = ImageFile::write(path, QByteArray(4096, 'n'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(fileContents(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"device.bin"});
}

QTEST_GUILESS_MAIN(tst_ImageFile)
#include "tst_ImageFile.moc"
