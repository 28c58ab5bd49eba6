#include "FakeFileDialog.h"
#include "app/SharedIconStyle.h"
#include "image/ImageDialog.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessagePump.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

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
    void qtDialogsDrawTheSameIcons();
    void qtDialogsLeaveNoAccessibleCells();
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

// Qt keeps every pixmap an icon draws in its global cache under that pixmap's own key, and this Qt
// keeps the key after the pixmap has gone: a dialog that draws new pixmaps each time it is shown
// makes the program grow with every command. Under the program's style, every dialog draws its
// header, its files and its buttons from the same pixmaps.
void tst_ImageDialog::qtDialogsDrawTheSameIcons() {
    QApplication::setStyle(new SharedIconStyle(QApplication::style()->name()));
    QTemporaryDir dir;
    const QString image = dir.filePath("unit.bin");
    QFile(image).open(QIODevice::WriteOnly);
    QtFileDialog qtDialog;
    ImageDialog dialog(qtDialog);
    QSet<qint64> headerPixmaps, filePixmaps;
    QSet<QPair<QString, qint64>> buttonPixmaps;
    const auto drawn = [](const QVariant& decoration) {
        // As the header view takes its decoration.
        QIcon icon = qvariant_cast<QIcon>(decoration);
        if (icon.isNull())
            icon = QIcon(qvariant_cast<QPixmap>(decoration));
        return icon.pixmap(QSize(16, 16)).cacheKey();
    };
    int buttons = 0;
    const auto note = [&](QFileDialog* shown) {
        const QHeaderView* header = shown->findChild<QHeaderView*>();
        QVERIFY(header);
        for (int paint = 0; paint < 2; ++paint)
            headerPixmaps << drawn(
                header->model()->headerData(0, Qt::Horizontal, Qt::DecorationRole));
        filePixmaps << shown->iconProvider()->icon(QFileInfo(image)).pixmap(16).cacheKey();
        const QList<QAbstractButton*> shownButtons = shown->findChildren<QAbstractButton*>();
        buttons = 0;
        for (const QAbstractButton* button : shownButtons) {
            if (!button->icon().isNull()) {
                ++buttons;
                buttonPixmaps << qMakePair(button->objectName() + button->text(),
                                           button->icon().pixmap(16).cacheKey());
            }
        }
        shown->selectFile(image);
        QMetaObject::invokeMethod(shown, "accept");
    };
    for (int round = 0; round < 3; ++round) {
        whenDialogShown(note);
        QCOMPARE(dialog.chooseFileToOpen(), image);
    }
    QCOMPARE(headerPixmaps.size(), 1);
    QCOMPARE(filePixmaps.size(), 1);
    QVERIFY(buttons >= 5);
    QCOMPARE(buttonPixmaps.size(), buttons);
}

// With an assistive technology listening, every file a typed name picks is told of, and the
// dialog's detailed list makes a cell interface for it each time: none of them may outlive it.
// (Under offscreen Qt has no bridge to an accessibility bus, so it runs only under Xvfb with one.)
void tst_ImageDialog::qtDialogsLeaveNoAccessibleCells() {
    if (!QAccessible::isActive())
        QSKIP("needs an accessibility bus (the _a11y run of this test)");
    const auto nextId = [] {
        QWidget probe;
        return QAccessible::uniqueId(QAccessible::queryAccessibleInterface(&probe));
    };
    QTemporaryDir dir;
    QStringList images;
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
        images << dir.filePath(name);
        QFile(images.constLast()).open(QIODevice::WriteOnly);
    }
    QtFileDialog qtDialog;
    ImageDialog dialog(qtDialog);
    const QAccessible::Id first = nextId();
    for (int round = 0; round < 2; ++round) {
        whenDialogShown([&](QFileDialog* shown) {
            // Each name typed, once the files are listed: the dialog picks that file in its lists.
            shown->setDirectory(dir.path());
            const QTreeView* list = shown->findChild<QTreeView*>();
            (void)QTest::qWaitFor(
                [&] { return list->model()->rowCount(list->rootIndex()) == images.size(); });
            auto* name = shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            for (const QString& image : images)
                name->setText(QFileInfo(image).fileName());
            QMetaObject::invokeMethod(shown, "accept");
        });
        QCOMPARE(dialog.chooseFileToOpen(), images.constLast());
    }
    QStringList leftovers;
    for (QAccessible::Id id = first, end = nextId(); id != end; ++id) {
        if (const QAccessibleInterface* iface = QAccessible::accessibleInterface(id))
            leftovers << QString::number(int(iface->role()));
    }
    QCOMPARE(leftovers, QStringList());
}

QTEST_MAIN(tst_ImageDialog)
#include "tst_ImageDialog.moc"
