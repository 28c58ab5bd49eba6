#include "app/StatusPanel.h"

#include "commands/CommandReporter.h"
#include "link/WireFormat.h"

namespace tavrin {

namespace {

// Blanks, control bytes and bytes above 7F show as a dot.
QString glyph(quint8 b) {
    return b <= 0x20 || b >= 0x80 ? QStringLiteral(".") : QString(QChar(b));
}

} // namespace

StatusPanel::StatusPanel(CommandReporter& reporter, QObject* parent)
    : QObject(parent) {
    connect(&reporter, &CommandReporter::stageReached, this, qOverload<Stage>(&StatusPanel::show));
    connect(&reporter, &CommandReporter::progressed, this,
            qOverload<const Progress&>(&StatusPanel::show));
}

void StatusPanel::show(Stage stage) {
    switch (stage) {
    case Stage::ReadStarted:
        setCaption(QStringLiteral("Read Started"));
        break;
    case Stage::ReadFinished:
        setCaption(QStringLiteral("Read Finished"));
        break;
    case Stage::ReadAborted:
        setCaption(tr("Read Aborted"));
        break;
    case Stage::WriteStarted:
        setCaption(QStringLiteral("Write Started"));
        setForeColor(Colour::HighlightText);
        break;
    case Stage::WritePassEnded:
        // The track ends where the fill ended, so it narrows or widens from pass to pass.
        setWidth(Shape::Shape2, Width(Shape::Shape3));
        break;
    case Stage::WriteFinished:
        setWidth(Shape::Shape3, 0);
        setFillColor(Shape::Shape3, Colour::Green);
        setCaption(QStringLiteral("Write Finished"));
        break;
    case Stage::VerifyStarted:
        setCaption(QStringLiteral("Verify Started"));
        break;
    case Stage::VerifyEnded:
        hideBar();
        break;
    case Stage::VerifyCompleted:
    case Stage::VerifyFailed:
        setForeColor(Colour::ButtonText);
        setCaption(stage == Stage::VerifyCompleted ? QStringLiteral("Verify Completed")
                                                   : QStringLiteral("Verify Failed!!!"));
        break;
    case Stage::WriteAborted:
        hideBar();
        setForeColor(Colour::ButtonText);
        setCaption(tr("Write Aborted"));
        break;
    }
}

void StatusPanel::show(const Progress& progress) {
    if (progress.bytesDone == 0) {
        showBar(progress.pass == Progress::Pass::Write ? Colour::Red : Colour::Green);
        return;
    }
    const float step = Width(Shape::Shape1) / Wire::EepromSize;
    // The fill bytes draw the bar again from its start.
    const int drawn =
        progress.filling() ? progress.bytesDone - progress.imageBytes : progress.bytesDone;
    setWidth(Shape::Shape3, float(drawn) * step);
    if (progress.pass == Progress::Pass::Write && !progress.filling()) {
        setCaption(glyph(progress.lastByte));
        setCaption(Caption() + QStringLiteral(" (") +
                   QString::number(progress.lastByte, 16).toUpper() + u')');
    }
}

void StatusPanel::showBar(quint32 fillColour) {
    setWidth(Shape::Shape3, 0);
    setFillColor(Shape::Shape3, fillColour);
    setVisible(Shape::Shape3, true);
    setVisible(Shape::Shape2, true);
    setVisible(Shape::Shape1, true);
}

void StatusPanel::hideBar() {
    setVisible(Shape::Shape3, false);
    setWidth(Shape::Shape3, 0);
    setVisible(Shape::Shape2, false);
    setVisible(Shape::Shape1, false);
}

void StatusPanel::setCaption(const QString& caption) {
    m_caption = caption;
    emit captionChanged(caption);
}

void StatusPanel::setForeColor(quint32 colour) {
    m_foreColor = colour;
    emit foreColorChanged(colour);
}

void StatusPanel::setVisible(Shape which, bool visible) {
    m_shapes[index(which)].Visible = visible;
    emit shapeChanged(which);
}

void StatusPanel::setWidth(Shape which, float width) {
    m_shapes[index(which)].Width = width;
    emit shapeChanged(which);
}

void StatusPanel::setFillColor(Shape which, quint32 colour) {
    m_shapes[index(which)].FillColor = colour;
    emit shapeChanged(which);
}

} // namespace tavrin
