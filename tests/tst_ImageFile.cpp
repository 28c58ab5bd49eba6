#include "image/ImageFile.h"

#include "FileContents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using tavrin::FileProblem;
using tavrin::ImageFile;
using tavrin::test::fileContents;

namespace {

// The problem as a line that names its file and kind, for the checks below.
QString said(const FileProblem& problem) {
    static const QStringList kinds{"",
                                   "does not exist",
                                   "is a folder",
                                   "not an ordinary file",
                                   "not an ordinary file (a device)",
                                   "could not be opened",
                                   "could not be read",
                                   "is not usable Intel HEX",
                                   "could not be created",
                                   "could not be saved"};
    if (problem.isEmpty())
        return {};
    const bool refused = problem.action == FileProblem::Action::Save &&
                         (problem.kind == FileProblem::Kind::Folder ||
                          problem.kind == FileProblem::Kind::NotOrdinary ||
                          problem.kind == FileProblem::Kind::DeviceName);
    return QDir::toNativeSeparators(problem.path) + u' ' + kinds.value(int(problem.kind)) + u' ' +
           problem.reason + (refused ? QStringLiteral("; nothing was saved") : QString());
}

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
    void windowsDeviceNames_data();
    void windowsDeviceNames();
#ifdef Q_OS_WIN
    void saveOverAFileHeldOpen();
#else
    void fullDiskLeavesTheOldFileIntact();
    void saveOverSomethingElseIsRefused_data();
    void saveOverSomethingElseIsRefused();
    void saveThroughALinkReplacesItsTarget();
    void saveInAReadOnlyFolder();
#endif
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

    QVERIFY(ImageFile::write(path, bytes).isEmpty());
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
    QVERIFY(ImageFile::write(path, "short").isEmpty());
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
#ifdef Q_OS_WIN
    if (kind == u"device")
        path = dir.filePath("NUL");
#else
    if (kind == u"device")
        path = QStringLiteral("/dev/null");
#endif

    const ImageFile::ReadResult read = ImageFile::read(path);

    QVERIFY(!read.ok());
    QVERIFY2(::said(read.problem).contains(said), qPrintable(::said(read.problem)));
    QVERIFY(::said(read.problem).contains(QDir::toNativeSeparators(path)));
    if (kind == u"missing")
        QVERIFY2(!QFile::exists(path), "reading a missing image must not create it");
}

void tst_ImageFile::saveIntoAMissingFolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath("gone/device.bin");
    const QString error = ::said(ImageFile::write(path, "abc"));
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QVERIFY(!QFile::exists(path));
}

// Windows's device names are refused in any case, with any extension; elsewhere they are ordinary.
void tst_ImageFile::windowsDeviceNames_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"CON", "nul.bin", "Com1.hex", "lpt9.eep", "aux .bin", "PRN.tar.gz"})
        QTest::newRow(name) << name;
}

void tst_ImageFile::windowsDeviceNames() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);

    const QString error = ::said(ImageFile::write(path, QByteArray(64, 'x')));
    const ImageFile::ReadResult read = ImageFile::read(path);

#ifdef Q_OS_WIN
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)) && error.contains("nothing was saved"),
             qPrintable(error));
    QVERIFY2(::said(read.problem).contains("not an ordinary file"),
             qPrintable(::said(read.problem)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
#else
    QCOMPARE(error, QString());
    QCOMPARE(read.bytes, QByteArray(64, 'x'));
#endif
}

#ifdef Q_OS_WIN
// Another program holds the image open: the save either replaces it whole or says why it did not,
// and the old image stays as it was.
void tst_ImageFile::saveOverAFileHeldOpen() {
    QTemporaryDir dir;
    const QString path = dir.filePath("device.bin");
    const QByteArray old(64, 'o');
    put(path, old);
    for (const DWORD sharing : {DWORD(0), DWORD(FILE_SHARE_READ),
                                DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
        const HANDLE held = CreateFileW(
            reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), GENERIC_READ,
            sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(held != INVALID_HANDLE_VALUE);
        const QString error = ::said(ImageFile::write(path, QByteArray(64, 'n')));
        CloseHandle(held);
        if (error.isEmpty()) {
            QCOMPARE(fileContents(path), QByteArray(64, 'n'));
            put(path, old);
        } else {
            QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
            QCOMPARE(fileContents(path), old);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"device.bin"});
    }
}
#else

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
    const QString error = ::said(ImageFile::write(path, QByteArray(4096, 'n')));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(path), qPrintable(error));
    QCOMPARE(fileContents(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"device.bin"});
}

void tst_ImageFile::saveOverSomethingElseIsRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("socket") << "socket";
    QTest::newRow("folder") << "folder";
}

// As root a plain replace would turn a device node into a file; a FIFO or socket stands for one.
void tst_ImageFile::saveOverSomethingElseIsRefused() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("node");
    const QByteArray local = QFile::encodeName(path);
    if (kind == u"fifo") {
        QCOMPARE(::mkfifo(local.constData(), 0600), 0);
    } else if (kind == u"socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, local.constData(), sizeof address.sun_path - 1);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    } else {
        QVERIFY(QDir(dir.path()).mkdir("node"));
    }
    const QFileInfo before(path);

    const QString error = ::said(ImageFile::write(path, QByteArray(64, 'x')));

    QVERIFY2(error.contains(path) && error.contains("nothing was saved"), qPrintable(error));
    const QFileInfo after(path);
    QCOMPARE(after.isFile(), false);
    QCOMPARE(after.exists(), true);
    struct stat status {};
    QCOMPARE(::stat(local.constData(), &status), 0);
    QCOMPARE(S_ISFIFO(status.st_mode), kind == u"fifo");
    QCOMPARE(S_ISSOCK(status.st_mode), kind == u"socket");
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{"node"});
}

void tst_ImageFile::saveThroughALinkReplacesItsTarget() {
    QTemporaryDir dir;
    const QString target = dir.filePath("device.bin");
    put(target, "old");
    QVERIFY(QFile::link(target, dir.filePath("link.bin")));

    QVERIFY(ImageFile::write(dir.filePath("link.bin"), "new").isEmpty());

    QCOMPARE(fileContents(target), QByteArray("new"));
    QVERIFY(QFileInfo(dir.filePath("link.bin")).isSymLink());
}

// The folder takes no temporary file, but the image in it may be written.
void tst_ImageFile::saveInAReadOnlyFolder() {
    if (::geteuid() == 0)
        QSKIP("a folder's permissions do not bind root");
    QTemporaryDir dir;
    const QString path = dir.filePath("device.bin");
    put(path, "old");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);

    const QString error = ::said(ImageFile::write(path, "new"));

    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(error, QString());
    QCOMPARE(fileContents(path), QByteArray("new"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"device.bin"});
}

#endif

QTEST_GUILESS_MAIN(tst_ImageFile)
#include "tst_ImageFile.moc"
