// The real window, offscreen, on the commands in virtual time.

#include "FakeMessageBox.h"
#include "PanelRig.h"

#include "app/WindowMessages.h"

#include "app/Form1.h"
#include "app/ShapeWidget.h"
#include "image/ImageFile.h"
#include "platform/QtMessagePump.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

using namespace tavrin;
using namespace tavrin::test;
using Shape = StatusPanel::Shape;

namespace {

struct WindowRig : PanelRig {
    WindowRig() {
        QObject::connect(&runner, &CommandRunner::commandEnded,
                         [this](const CommandResult& result) { words.show(result); });
        form.show();
    }
    Form1 form{runner, link, panel};
    FakeMessageBox messages;
    WindowMessages words{messages};
};

} // namespace

class tst_Form1 : public QObject {
    Q_OBJECT

public:
    static void initMain() { QtMessagePump::prepareApplication(); }

private slots:
    void layout();
    void portCaptionsAreWhole_data();
    void portCaptionsAreWhole();
    void writeShowsEveryStep();
    void statusIsReadOutAtEveryStep();
    void refusedPortClickKeepsThePortInUse();
    void closingInsideAWaitEndsTheCommand();
    void portOptionsTellTheirDevice();
};

void tst_Form1::layout() {
    WindowRig rig;
    Form1& form = rig.form;
    QCOMPARE(form.windowTitle(), "Tavrin");
    QCOMPARE(form.size(), QSize(200, 125));
    QCOMPARE(form.RSEE()->geometry(), QRect(8, 8, 185, 25));
    QCOMPARE(form.RSEE()->text(), "Read && Save EEProm");
    QCOMPARE(form.OWEE()->geometry(), QRect(8, 40, 185, 25));
    QCOMPARE(form.OWEE()->text(), "Open && Write EEProm");
    QCOMPARE(form.Label4()->geometry(), QRect(48, 104, 97, 17));
    QCOMPARE(form.Label4()->text(), Form1::InitialCaption);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(form.Com(i)->geometry(), QRect(8 + 48 * i, 72, 49, 17));
        QCOMPARE(form.Com(i)->text(), QStringLiteral("Com%1").arg(i + 1));
        QVERIFY(!form.Com(i)->isChecked());
    }
    for (auto which : {Shape::Shape1, Shape::Shape2, Shape::Shape3}) {
        QCOMPARE(form.shape(which)->geometry(), QRect(8, 96, 185, 25));
        QVERIFY(!form.shape(which)->isVisible());
    }
    QVERIFY(!form.windowIcon().isNull());

    // Tab order, and the drawing order bottom to top.
    QWidget* next = form.RSEE();
    for (QWidget* expected :
         {static_cast<QWidget*>(form.OWEE()), static_cast<QWidget*>(form.Com(0)),
          static_cast<QWidget*>(form.Com(1)), static_cast<QWidget*>(form.Com(2)),
          static_cast<QWidget*>(form.Com(3))}) {
        next = next->nextInFocusChain();
        QCOMPARE(next, expected);
    }
    const QObjectList children = form.children();
    QVERIFY(children.indexOf(form.shape(Shape::Shape2)) <
            children.indexOf(form.shape(Shape::Shape3)));
    QVERIFY(children.indexOf(form.shape(Shape::Shape3)) < children.indexOf(form.Label4()));
    QVERIFY(children.indexOf(form.Label4()) < children.indexOf(form.shape(Shape::Shape1)));

    for (QWidget* control : form.findChildren<QWidget*>())
        QVERIFY2(!QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty(),
                 control->metaObject()->className());
}

void tst_Form1::portCaptionsAreWhole_data() {
    QTest::addColumn<QString>("style");
    QTest::newRow("platform default") << QString();
    for (const char* style : {"Fusion", "Windows"})
        QTest::newRow(qPrintable(style)) << style;
}

// The digit is all that tells the ports apart: indicator, spacing and caption of each option end
// before the next option begins, or the window ends.
void tst_Form1::portCaptionsAreWhole() {
    QFETCH(QString, style);
    const QString before = QApplication::style()->name();
    if (!style.isEmpty())
        QApplication::setStyle(style);
    WindowRig rig;
    Form1& form = rig.form;
    for (int i = 0; i < 4; ++i) {
        const QRadioButton* option = form.Com(i);
        QStyleOptionButton look;
        look.initFrom(option);
        const QStyle* drawn = option->style();
        const int end = option->x() +
                        drawn->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &look, option) +
                        drawn->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &look, option) +
                        option->fontMetrics().horizontalAdvance(option->text());
        const int room = i < 3 ? form.Com(i + 1)->x() : form.width();
        QVERIFY2(end <= room, qPrintable(QStringLiteral("%1 ends at %2, room until %3 (%4 pt)")
                                             .arg(option->text())
                                             .arg(end)
                                             .arg(room)
                                             .arg(option->font().pointSizeF())));
        QVERIFY(option->font().pointSizeF() >= 6);
    }
    QApplication::setStyle(before);
}

void tst_Form1::writeShowsEveryStep() {
    WindowRig rig;
    Form1& form = rig.form;
    QTest::mouseClick(form.Com(0), Qt::LeftButton);
    QVERIFY(rig.link.PortOpen());
    QVERIFY(form.Com(0)->isChecked());
    const QString path = rig.path("image.bin");
    QVERIFY(ImageFile::write(path, QByteArray(64, 'A')).isEmpty());
    rig.files.choose({path});
    bool sawWriting = false;
    rig.pump.setBeforePass([&] {
        if (form.Label4()->text() != "A (41)" || sawWriting)
            return;
        sawWriting = true;
        QVERIFY(form.shape(Shape::Shape3)->isVisible());
        QCOMPARE(form.shape(Shape::Shape3)->fillColor(), QColor(255, 0, 0));
        QCOMPARE(form.shape(Shape::Shape2)->fillColor(), QColor(192, 192, 192));
        QCOMPARE(form.Label4()->palette().color(QPalette::WindowText),
                 form.palette().color(QPalette::HighlightedText));
    });

    form.OWEE()->click();

    QVERIFY(sawWriting);
    QCOMPARE(form.Label4()->text(), "Verify Completed");
    QCOMPARE(form.Label4()->palette().color(QPalette::WindowText),
             form.palette().color(QPalette::ButtonText));
    QVERIFY(!form.shape(Shape::Shape1)->isVisible());
    QCOMPARE(form.shape(Shape::Shape3)->width(), 0);
    QCOMPARE(form.shape(Shape::Shape2)->width(), 185);
}

// A screen reader hears every caption a command sets, as it is set.
void tst_Form1::statusIsReadOutAtEveryStep() {
    WindowRig rig;
    Form1& form = rig.form;
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(form.Label4());
    QCOMPARE(status->text(QAccessible::Name), Form1::InitialCaption);
    QCOMPARE(status->text(QAccessible::Description), "Status");
    form.Com(0)->click();
    const QString path = rig.path("image.bin");
    QVERIFY(ImageFile::write(path, "A\x05").isEmpty());
    rig.files.choose({path});
    QStringList captions;
    QStringList heard;
    connect(&rig.panel, &StatusPanel::captionChanged, this, [&](const QString& caption) {
        captions << caption;
        heard << status->text(QAccessible::Name);
    });

    form.OWEE()->click();

    QCOMPARE(captions, QStringList({"Write Started", "A", "A (41)", ".", ". (5)", "Write Finished",
                                    "Verify Started", "Verify Completed"}));
    QCOMPARE(heard, captions);
    // A label without a name of its own announces each new text as a change of name.
    QVERIFY(form.Label4()->accessibleName().isEmpty());
}

void tst_Form1::refusedPortClickKeepsThePortInUse() {
    WindowRig rig;
    Form1& form = rig.form;
    rig.comm.setDevice(3, "/dev/ttyUSB7");
    form.Com(0)->click();
    rig.files.choose({std::nullopt});
    rig.messages.setWhileShown([](const FakeMessageBox::Shown&) {});
    int clicks = 0;
    rig.pump.setBeforePass([&] {
        if (clicks++ == 0)
            QTest::mouseClick(form.Com(2), Qt::LeftButton);
    });
    QVERIFY(ImageFile::write(rig.path("a.bin"), "x").isEmpty());
    rig.files.choose({rig.path("a.bin")});

    form.OWEE()->click();

    QVERIFY(clicks > 0);
    QCOMPARE(rig.link.CommPort(), 1);
    QVERIFY(form.Com(0)->isChecked());
    QVERIFY(!form.Com(2)->isChecked());
    // After the command, the same click works.
    QTest::mouseClick(form.Com(2), Qt::LeftButton);
    QCOMPARE(rig.link.CommPort(), 3);
    QVERIFY(form.Com(2)->isChecked());
}

void tst_Form1::closingInsideAWaitEndsTheCommand() {
    WindowRig rig;
    Form1& form = rig.form;
    form.Com(0)->click();
    QVERIFY(ImageFile::write(rig.path("a.bin"), QByteArray(64, 'z')).isEmpty());
    rig.files.choose({rig.path("a.bin")});
    rig.pump.setBeforePass([&] {
        if (rig.sent().size() == 30)
            form.close();
    });
    CommandEnd end = CommandEnd::Done;
    connect(&rig.runner, &CommandRunner::commandEnded, this,
            [&](const CommandResult& result) { end = result.end; });

    form.OWEE()->click();

    QCOMPARE(end, CommandEnd::Closing);
    QCOMPARE(rig.sent().size(), 30);
    QVERIFY(!rig.link.PortOpen());
    QVERIFY(!form.isVisible());
}

void tst_Form1::portOptionsTellTheirDevice() {
    WindowRig rig;
    rig.comm.setDevice(4, QString());
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), rig.form.Com(0)->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(rig.form.Com(0), &help);
    QCOMPARE(rig.form.Com(0)->toolTip(), "Com1: /dev/ttyUSB0");
    QApplication::sendEvent(rig.form.Com(3), &help);
    QCOMPARE(rig.form.Com(3)->toolTip(), "Com4: no serial device present");
}

QTEST_MAIN(tst_Form1)
#include "tst_Form1.moc"
