#pragma once

#include <QColor>
#include <QWidget>

namespace tavrin {

// A plain rectangle: a border with a transparent inside, or an opaque fill without a border.
class ShapeWidget : public QWidget {
    Q_OBJECT

public:
    enum class Style { Border, Filled };

    ShapeWidget(Style style, QWidget* parent = nullptr);

    void setFillColor(const QColor& colour);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style m_style;
    QColor m_fill = Qt::black;
};

} // namespace tavrin
