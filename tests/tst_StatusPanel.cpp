// The window's status panel: its captions, colours and widths in twips as the commands report
// their stages and progress, on fakes in virtual time.

#include "PanelRig.h"

#include "image/ImageFile.h"

#include <QTest>

using namespace tavrin;
using namespace tavrin::test;

namespace {

// Writes an image from the rig's folder, the dialog choosing it.
CommandResult writeImage(PanelRig& rig, const QByteArray& image) {
    const QString path = rig.path("image.bin");
    if (!ImageFile::write(path, image).isEmpty())
        qFatal("cannot write the test image");
    rig.files.choose({path});
    return rig.runner.writeAndVerify();
}

} // namespace

class tst_StatusPanel : public QObject {
    Q_OBJECT

private slots:
    void statusFollowsEveryStep();
    void byteCaptions_data();
    void byteCaptions();
    void verdicts_data();
    void verdicts();
};

void tst_StatusPanel::statusFollowsEveryStep() {
    PanelRig rig;
    rig.choosePort();
    QCOMPARE(writeImage(rig, "AB" + QByteArray(62, 'x')).end, CommandEnd::Done);

    const QStringList& h = rig.shown;
    const QStringList start{"Shape3 shown 0 000000ff",
                            "Shape3 shown 0 000000ff",
                            "Shape3 shown 0 000000ff",
                            "Shape2 shown 2775 00c0c0c0",
                            "Shape1 shown 2775 00000000",
                            "Caption=Write Started",
                            "ForeColor=8000000e",
                            "Shape3 shown 43.3594 000000ff",
                            "Caption=A",
                            "Caption=A (41)",
                            "Shape3 shown 86.7188 000000ff",
                            "Caption=B",
                            "Caption=B (42)"};
    QCOMPARE(h.mid(0, start.size()), start);
    const qsizetype finished = h.indexOf("Caption=Write Finished");
    QVERIFY(finished > 0);
    QCOMPARE(h.mid(finished - 4, 4),
             QStringList({"Caption=x (78)", "Shape2 shown 2775 00c0c0c0", "Shape3 shown 0 000000ff",
                          "Shape3 shown 0 0000ff00"}));
    QCOMPARE(h.mid(finished, 2), QStringList({"Caption=Write Finished", "Caption=Verify Started"}));
    QVERIFY(h.contains("Shape3 shown 2775 0000ff00"));
    QCOMPARE(h.mid(h.size() - 6),
             QStringList({"Shape3 hidden 2775 0000ff00", "Shape3 hidden 0 0000ff00",
                          "Shape2 hidden 2775 00c0c0c0", "Shape1 hidden 2775 00000000",
                          "ForeColor=80000012", "Caption=Verify Completed"}));
}

void tst_StatusPanel::byteCaptions_data() {
    QTest::addColumn<QByteArray>("byte");
    QTest::addColumn<QString>("caption");
    QTest::newRow("00") << QByteArray::fromHex("00") << ". (0)";
    QTest::newRow("05") << QByteArray::fromHex("05") << ". (5)";
    QTest::newRow("20") << QByteArray::fromHex("20") << ". (20)";
    QTest::newRow("21") << QByteArray::fromHex("21") << "! (21)";
    QTest::newRow("3C") << QByteArray::fromHex("3c") << "< (3C)";
    QTest::newRow("7F") << QByteArray::fromHex("7f") << "\x7f (7F)";
    QTest::newRow("80") << QByteArray::fromHex("80") << ". (80)";
    QTest::newRow("FF") << QByteArray::fromHex("ff") << ". (FF)";
}

void tst_StatusPanel::byteCaptions() {
    QFETCH(QByteArray, byte);
    QFETCH(QString, caption);
    PanelRig rig;
    rig.choosePort();
    writeImage(rig, byte);
    QVERIFY2(rig.captions().contains("Caption=" + caption), qPrintable(rig.captions().join('|')));
    // The fill bytes of a short image leave the caption alone.
    QCOMPARE(rig.captions().at(rig.captions().indexOf("Caption=" + caption) + 1),
             "Caption=Write Finished");
}

void tst_StatusPanel::verdicts_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("stuckCell"); // -1: none
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("read") << "read" << -1
                          << QStringList({"Caption=Read Started", "Caption=Read Finished"});
    QTest::newRow("write, verified")
        << "write" << -1 << QStringList({"Caption=Verify Started", "Caption=Verify Completed"});
    QTest::newRow("write, a difference")
        << "write" << 5 << QStringList({"Caption=Verify Started", "Caption=Verify Failed!!!"});
    QTest::newRow("save into a missing folder")
        << "save" << -1 << QStringList({"Caption=Read Started", "Caption=Read Aborted"});
}

void tst_StatusPanel::verdicts() {
    QFETCH(QString, command);
    QFETCH(int, stuckCell);
    QFETCH(QStringList, captions);
    DeviceFaults faults;
    if (stuckCell >= 0)
        faults.stuckCell = stuckCell;
    PanelRig rig(faults);
    rig.choosePort();
    if (command == "write") {
        writeImage(rig, QByteArray(64, 'v'));
        QCOMPARE(rig.shown.at(rig.shown.size() - 2), "ForeColor=80000012");
    } else {
        rig.files.choose({rig.path(command == "save" ? "no folder/saved.bin" : "saved.bin")});
        rig.runner.readAndSave();
    }
    QCOMPARE(rig.captions().mid(rig.captions().size() - 2), captions);
}

QTEST_GUILESS_MAIN(tst_StatusPanel)
#include "tst_StatusPanel.moc"
