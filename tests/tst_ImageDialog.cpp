#include "FakeFileDialog.h"
#include "image/ImageDialog.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace tavrin;
using namespace tavrin::test;

namespace {

const QString Types = QStringLiteral("All Files (*.*)|*.*|Binary Files(*.bin)|*.bin 2");

// Runs `act` on the file dialog once it is shown modally.
void whenDialogShown(std::function<void(QFileDialog*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start(5);
}

} // namespace

class tst_ImageDialog : public QObject {
    Q_OBJECT

public:
    static void initMain() { QtMessagePump::prepareApplication(); }

private slots:
    void offersBothTypesBinaryFirst();
    void cancelIsReported();
    void nameFilters();
    void qtDialogShowsTheTypesAsGiven();
    void qtDialogStartsFromTheLastChoice();
    void qtDialogCancel();
};

void tst_ImageDialog::offersBothTypesBinaryFirst() {
    FakeFileDialog fake;
    ImageDialog dialog(fake);
    fake.choose({QStringLiteral("/tmp/a.bin"), QStringLiteral("/tmp/b")});
    QCOMPARE(dialog.chooseFileToSave(), QStringLiteral("/tmp/a.bin"));
    QCOMPARE(dialog.chooseFileToOpen(), QStringLiteral("/tmp/b"));
    QCOMPARE(fake.calls(), QStringList({"Save " + Types, "Open " + Types}));
}

void tst_ImageDialog::cancelIsReported() {
    FakeFileDialog fake;
    ImageDialog dialog(fake);
    fake.choose({std::nullopt, std::nullopt});
    QCOMPARE(dialog.chooseFileToSave(), std::nullopt);
    QCOMPARE(dialog.chooseFileToOpen(), std::nullopt);
}

void tst_ImageDialog::nameFilters() {
    const QStringList filters = QtFileDialog::nameFilters(ImageDialog::Filter);
    QCOMPARE(filters, QStringList({"All Files (*.*) (*)", "Binary Files(*.bin) (*.bin)"}));
    // "All Files" lists names without a dot too.
    QVERIFY(QDir::match(QStringList{"*"}, "README"));
    QCOMPARE(QtFileDialog::nameFilters("Logs|*.log;*.txt"), QStringList{"Logs (*.log *.txt)"});
}

void tst_ImageDialog::qtDialogShowsTheTypesAsGiven() {
    QTemporaryDir dir;
    QtFileDialog qtDialog;
    ImageDialog dialog(qtDialog);
    QStringList types;
    QString selectedType, title, suffix;
    bool confirmsOverwrite = true;
    whenDialogShown([&](QFileDialog* shown) {
        for (QComboBox* combo : shown->findChildren<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < combo->count(); ++i)
                types << combo->itemText(i);
            selectedType = combo->currentText();
        }
        title = shown->windowTitle();
        suffix = shown->defaultSuffix();
        confirmsOverwrite = !shown->testOption(QFileDialog::DontConfirmOverwrite);
        shown->selectFile(dir.filePath("saved"));
        QMetaObject::invokeMethod(shown, "accept");
    });

    QCOMPARE(dialog.chooseFileToSave(), dir.filePath("saved"));
    QCOMPARE(types, QStringList({"All Files (*.*)", "Binary Files(*.bin)"}));
    QCOMPARE(selectedType, QStringLiteral("Binary Files(*.bin)"));
    QCOMPARE(suffix, QString());
    QVERIFY(!confirmsOverwrite);
    QVERIFY2(!title.isEmpty(), "the dialog keeps Qt's own title");
}

void tst_ImageDialog::qtDialogStartsFromTheLastChoice() {
    QTemporaryDir dir;
    const QString saved = dir.filePath("device.bin");
    QtFileDialog qtDialog;
    ImageDialog dialog(qtDialog);
    whenDialogShown([&](QFileDialog* shown) {
        shown->selectFile(saved);
        QMetaObject::invokeMethod(shown, "accept");
    });
    QCOMPARE(dialog.chooseFileToSave(), saved);

    QString startedIn;
    whenDialogShown([&](QFileDialog* shown) {
        startedIn = shown->directory().absolutePath();
        QMetaObject::invokeMethod(shown, "accept");
    });
    QCOMPARE(dialog.chooseFileToOpen(), saved);
    QCOMPARE(startedIn, QDir(dir.path()).absolutePath());
}

void tst_ImageDialog::qtDialogCancel() {
    QtFileDialog qtDialog;
    ImageDialog dialog(qtDialog);
    whenDialogShown([](QFileDialog* shown) { QMetaObject::invokeMethod(shown, "reject"); });
    QCOMPARE(dialog.chooseFileToOpen(), std::nullopt);
}

QTEST_MAIN(tst_ImageDialog)
#include "tst_ImageDialog.moc"
