#pragma once

#include "app/Colours.h"
#include "commands/Progress.h"
#include "commands/Stage.h"

#include <QObject>
#include <QString>

namespace tavrin {

class CommandReporter;

// The status label and the three rectangles of the progress bar, without widgets: follows what
// the commands report, and the window draws it. Positions and widths are in twips.
class StatusPanel : public QObject {
    Q_OBJECT

public:
    enum class Shape { Shape1, Shape2, Shape3 };

    struct Rectangle {
        bool Visible = true;
        float Width = 2775;
        quint32 FillColor = 0;
    };

    static constexpr float BarWidth = 2775;

    explicit StatusPanel(CommandReporter& reporter, QObject* parent = nullptr);

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    quint32 ForeColor() const { return m_foreColor; }
    void setForeColor(quint32 colour);

    const Rectangle& shape(Shape which) const { return m_shapes[index(which)]; }
    void setVisible(Shape which, bool visible);
    float Width(Shape which) const { return shape(which).Width; }
    void setWidth(Shape which, float width);
    void setFillColor(Shape which, quint32 colour);

signals:
    void captionChanged(const QString& caption);
    void foreColorChanged(quint32 colour);
    void shapeChanged(tavrin::StatusPanel::Shape which);

private:
    static int index(Shape which) { return int(which); }

    void show(Stage stage);
    void show(const Progress& progress);
    void showBar(quint32 fillColour);
    void hideBar();

    QString m_caption;
    quint32 m_foreColor = Colour::ButtonText;
    Rectangle m_shapes[3] = {
        {true, BarWidth, 0}, {true, BarWidth, Colour::LightGrey}, {true, BarWidth, Colour::Red}};
};

} // namespace tavrin
