// End to end in real time: the real window offscreen, the real serial code and tavrin-devsim on a
// pseudo-terminal. The dialogs answer from a script.

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "FileContents.h"
#include "SimulatorProcess.h"

#include "app/Program.h"
#include "image/ImageFile.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct EndToEnd {
    explicit EndToEnd(QStringList simulatorOptions)
        : program(
              {[this](int port) { return port == 1 ? device : QString(); }, &files, &messages}) {
        plugIn(simulatorOptions);
        program.window().show();
        // Only a hang would get this far.
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] { program.window().close(); });
        guard.start(30000);
        program.window().Com(0)->click();
    }
    ~EndToEnd() {
        if (QTest::currentTestFailed() && sim)
            qInfo("the device saw: %s", qPrintable(sim->events().join(u", ")));
    }
    // A simulator on a new pseudo-terminal, as if the adapter were plugged in again.
    void plugIn(QStringList options = {}) {
        sim =
            std::make_unique<SimulatorProcess>(options << "--image" << dir.filePath("device.bin"));
        device = sim->devicePath();
    }
    // Runs `action` from the event loop as soon as the simulator has said `line`.
    void onEvent(const QString& line, std::function<void()> action) {
        auto* poll = new QTimer(&program.window());
        QObject::connect(poll, &QTimer::timeout, [this, poll, line, action] {
            if (sim->events().contains(line)) {
                poll->deleteLater();
                poll->stop();
                action();
            }
        });
        poll->start(1);
    }
    QString caption() { return program.window().Label4()->text(); }

    QTemporaryDir dir;
    std::unique_ptr<SimulatorProcess> sim;
    QString device;
    FakeFileDialog files;
    FakeMessageBox messages;
    Program program;
    QTimer guard;
};

QByteArray cells() {
    QByteArray bytes;
    for (int i = 0; i < 64; ++i)
        bytes += char(i * 5 + 3);
    return bytes;
}

} // namespace

class tst_Program : public QObject {
    Q_OBJECT

public:
    static void initMain() { QtMessagePump::prepareApplication(); }

private slots:
    void readAndSaveGivesTheCells();
    void writeAndVerifyPutsTheFileIntoTheDevice();
    void stuckCellAsksAndFails();
    void intelHexThroughTheDialogs();
    void unplugDrills_data();
    void unplugDrills();
    void hostileRepliesKeepTheWindowResponsive_data();
    void hostileRepliesKeepTheWindowResponsive();
    void secondCopyIsRefusedAndTheFirstUndisturbed();
};

void tst_Program::readAndSaveGivesTheCells() {
    EndToEnd e2e({});
    QVERIFY(e2e.program.link().PortOpen());
    QVERIFY(e2e.sim->waitForEvent("connected 1"));
    const QString image = e2e.dir.filePath("new.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    e2e.files.choose({image});
    e2e.program.window().OWEE()->click();
    const QString saved = e2e.dir.filePath(QString::fromUtf8("gespeichert Öl.bin"));
    e2e.files.choose({saved});

    e2e.program.window().RSEE()->click();

    QCOMPARE(e2e.caption(), "Read Finished");
    QCOMPARE(ImageFile::read(saved).bytes.toHex(), cells().toHex());
    QVERIFY(e2e.sim->waitForEvent("connected 3"));
    QVERIFY(e2e.messages.shown().isEmpty());
}

void tst_Program::writeAndVerifyPutsTheFileIntoTheDevice() {
    EndToEnd e2e({});
    const QString image = e2e.dir.filePath("new.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    e2e.files.choose({image});

    e2e.program.window().OWEE()->click();

    QVERIFY2(e2e.program.link().PortOpen(), qPrintable(e2e.sim->devicePath()));
    QCOMPARE(e2e.caption(), "Verify Completed");
    QVERIFY(e2e.sim->events().contains("written lost=0"));
    QCOMPARE(ImageFile::read(e2e.dir.filePath("device.bin")).bytes.toHex(), cells().toHex());
    QVERIFY(e2e.guard.isActive());
}

void tst_Program::stuckCellAsksAndFails() {
    EndToEnd e2e({"--stuck-cell", "9"});
    const QString image = e2e.dir.filePath("new.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    e2e.files.choose({image});

    e2e.program.window().OWEE()->click();

    QCOMPARE(e2e.messages.shown().size(), 1);
    const FakeMessageBox::Shown question = e2e.messages.shown().constFirst();
    QCOMPARE(question.title + ": " + question.prompt, "Verify failed!: Try to write again?");
    QVERIFY2(question.details.startsWith("Address 09: file 30, device"),
             qPrintable(question.details));
    QCOMPARE(e2e.caption(), "Verify Failed!!!");
}

// An .eep image chosen in the open dialog goes into the device; a read saved under a .hex name
// is Intel HEX of the same cells.
void tst_Program::intelHexThroughTheDialogs() {
    EndToEnd e2e({});
    const QString eep = e2e.dir.filePath("settings.eep");
    QVERIFY(ImageFile::write(eep, cells()).isEmpty());
    QVERIFY(fileContents(eep).endsWith(":00000001FF\n"));
    const QString hex = e2e.dir.filePath("read back.hex");
    e2e.files.choose({eep, hex});

    e2e.program.window().OWEE()->click();
    QCOMPARE(e2e.caption(), "Verify Completed");
    QCOMPARE(ImageFile::read(e2e.dir.filePath("device.bin")).bytes.toHex(), cells().toHex());
    e2e.program.window().RSEE()->click();

    QCOMPARE(e2e.caption(), "Read Finished");
    QCOMPARE(fileContents(hex), fileContents(eep));
    QVERIFY(e2e.messages.shown().isEmpty());
}

void tst_Program::unplugDrills_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("unplugWhen"); // the simulator's event; empty: it hangs up itself
    QTest::addColumn<QString>("verdict");
    // Another device takes the pulled one's place in the machine's list of ports.
    QTest::addColumn<bool>("another");
    QTest::newRow("mid write transfer") << QStringList{"--hang-up-after", "20"} << "OWEE"
                                        << ""
                                        << "Write Aborted" << false;
    QTest::newRow("read-back wait") << QStringList{"--silent"} << "RSEE"
                                    << "read"
                                    << "Read Aborted" << false;
    // The data part completed; only the reopen at the end of the cycle fails.
    QTest::newRow("closed interval of the port cycle") << QStringList{} << "OWEE"
                                                       << "disconnected"
                                                       << "Verify Completed" << false;
    // The reopen must not wake whatever is now found first: it is another device.
    QTest::newRow("closed interval, another device found") << QStringList{} << "OWEE"
                                                           << "disconnected"
                                                           << "Verify Completed" << true;
}

// Each ends with one message naming the port and its device, the files untouched, and the program
// working again once the adapter is back.
void tst_Program::unplugDrills() {
    QFETCH(QStringList, options);
    QFETCH(QString, command);
    QFETCH(QString, unplugWhen);
    QFETCH(QString, verdict);
    QFETCH(bool, another);
    EndToEnd e2e(options);
    const QString pulled = e2e.device;
    const QString image = e2e.dir.filePath("image.bin");
    const QString saved = e2e.dir.filePath("saved.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    QVERIFY(ImageFile::write(saved, "old").isEmpty());
    e2e.files.choose({command == "OWEE" ? image : saved});
    if (!unplugWhen.isEmpty())
        e2e.onEvent(unplugWhen, [&] {
            if (another)
                e2e.plugIn();
            else
                e2e.sim->stop();
        });

    (command == "OWEE" ? e2e.program.window().OWEE() : e2e.program.window().RSEE())->click();

    QVERIFY(e2e.guard.isActive());
    QCOMPARE(e2e.caption(), verdict);
    QVERIFY(!e2e.program.link().PortOpen());
    QTRY_COMPARE(e2e.messages.shown().size(), 1); // the loss may be reported just after the end
    const QString said = e2e.messages.shown().constFirst().prompt;
    QVERIFY2(said.contains("Com1 (" + pulled + ")"), qPrintable(said));
    QCOMPARE(ImageFile::read(image).bytes, cells());
    QCOMPARE(ImageFile::read(saved).bytes, "old");
    if (another)
        QVERIFY2(!e2e.sim->events().join(' ').contains("connected"),
                 qPrintable(e2e.sim->events().join(' ')));

    e2e.plugIn();
    e2e.program.window().Com(0)->click();
    QVERIFY(e2e.program.link().PortOpen());
    e2e.files.choose({saved});
    e2e.program.window().RSEE()->click();
    QCOMPARE(e2e.caption(), "Read Finished");
    QCOMPARE(ImageFile::read(saved).bytes.size(), 64);
    QCOMPARE(e2e.messages.shown().size(), 1);
}

void tst_Program::hostileRepliesKeepTheWindowResponsive_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("silent") << QStringList{"--silent"};
    QTest::newRow("half a reply") << QStringList{"--reply-bytes", "33"};
    QTest::newRow("announces 255, sends 64") << QStringList{"--announce", "255"};
}

// The read-back waits for what the count announced; the window goes on working meanwhile, and
// closing it ends the wait at once with the port closed and nothing saved.
void tst_Program::hostileRepliesKeepTheWindowResponsive() {
    QFETCH(QStringList, options);
    EndToEnd e2e(options);
    const QString saved = e2e.dir.filePath("saved.bin");
    QVERIFY(ImageFile::write(saved, "old").isEmpty());
    e2e.files.choose({saved});
    int heartbeats = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++heartbeats; });
    heartbeat.start(20);
    QElapsedTimer sinceClose;
    e2e.onEvent("read", [&] {
        QTimer::singleShot(500, [&] {
            QCOMPARE(e2e.caption(), "Read Started");
            e2e.program.window().OWEE()->click(); // refused: one command at a time
            sinceClose.start();
            e2e.program.window().close();
        });
    });

    e2e.program.window().RSEE()->click();

    QVERIFY(sinceClose.isValid());
    QVERIFY2(sinceClose.elapsed() < 1000, "closing must end the wait at once");
    QVERIFY2(heartbeats >= 10, "the window must stay responsive while it waits");
    QVERIFY(!e2e.program.link().PortOpen());
    QVERIFY(e2e.sim->waitForEvent("disconnected"));
    QCOMPARE(e2e.files.showings(), 0); // the save dialog comes after the read
    QCOMPARE(ImageFile::read(saved).bytes, "old");
    QVERIFY(e2e.messages.shown().isEmpty());
}

void tst_Program::secondCopyIsRefusedAndTheFirstUndisturbed() {
    EndToEnd first({});
    FakeFileDialog files;
    FakeMessageBox messages;
    Program second(
        {[&](int port) { return port == 1 ? first.device : QString(); }, &files, &messages});
    second.window().show();
    const QString image = first.dir.filePath("image.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    first.files.choose({image});
    QTimer::singleShot(300, [&] { second.window().Com(0)->click(); });

    first.program.window().OWEE()->click();

    QCOMPARE(messages.shown().size(), 1);
    const QString said = messages.shown().constFirst().prompt;
    QVERIFY2(said.contains("Com1 (" + first.device + ")") && said.contains("another program"),
             qPrintable(said));
    QVERIFY(!second.link().PortOpen());
    QCOMPARE(first.caption(), "Verify Completed");
    QVERIFY(first.messages.shown().isEmpty());
    QVERIFY(first.sim->events().contains("written lost=0"));
    QCOMPARE(ImageFile::read(first.dir.filePath("device.bin")).bytes, cells());

    first.program.window().close();
    QVERIFY(!first.program.link().PortOpen());
    second.window().Com(0)->click();
    QVERIFY(second.link().PortOpen());
}

QTEST_MAIN(tst_Program)
#include "tst_Program.moc"
