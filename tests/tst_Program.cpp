// End to end in real time: the real window offscreen, the real serial code and tavrin-devsim on a
// pseudo-terminal. The dialogs answer from a script.

#include "FakeFileDialog.h"
#include "FakeMessageBox.h"
#include "SimulatorProcess.h"

#include "app/Program.h"
#include "image/ImageFile.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct EndToEnd {
    explicit EndToEnd(QStringList simulatorOptions)
        : sim(simulatorOptions << "--image" << dir.filePath("device.bin"))
        , program({[this](int port) { return port == 1 ? sim.devicePath() : QString(); }, &files,
                   &messages}) {
        program.window().show();
        // Only a hang would get this far.
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] { program.window().close(); });
        guard.start(30000);
        program.window().Com(0)->click();
    }
    QString caption() { return program.window().Label4()->text(); }

    QTemporaryDir dir;
    SimulatorProcess sim;
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

private slots:
    void readAndSaveGivesTheCells();
    void writeAndVerifyPutsTheFileIntoTheDevice();
    void stuckCellAsksAndFails();
};

void tst_Program::readAndSaveGivesTheCells() {
    EndToEnd e2e({});
    QVERIFY(e2e.program.link().PortOpen());
    QVERIFY(e2e.sim.waitForEvent("connected 1"));
    const QString image = e2e.dir.filePath("new.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    e2e.files.choose({image});
    e2e.program.window().OWEE()->click();
    const QString saved = e2e.dir.filePath(QString::fromUtf8("gespeichert Öl.bin"));
    e2e.files.choose({saved});

    e2e.program.window().RSEE()->click();

    QCOMPARE(e2e.caption(), "Read Finished");
    QCOMPARE(ImageFile::read(saved).bytes.toHex(), cells().toHex());
    QVERIFY(e2e.sim.waitForEvent("connected 3"));
    QVERIFY(e2e.messages.shown().isEmpty());
}

void tst_Program::writeAndVerifyPutsTheFileIntoTheDevice() {
    EndToEnd e2e({});
    const QString image = e2e.dir.filePath("new.bin");
    QVERIFY(ImageFile::write(image, cells()).isEmpty());
    e2e.files.choose({image});

    e2e.program.window().OWEE()->click();

    QVERIFY2(e2e.program.link().PortOpen(), qPrintable(e2e.sim.devicePath()));
    QCOMPARE(e2e.caption(), "Verify Completed");
    QVERIFY(e2e.sim.events().contains("written lost=0"));
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

QTEST_MAIN(tst_Program)
#include "tst_Program.moc"
