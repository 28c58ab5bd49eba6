#include "app/ShapeWidget.h"

#include <QPainter>

namespace tavrin {

ShapeWidget::ShapeWidget(Style style, QWidget* parent)
    : QWidget(parent)
    , m_style(style) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setFillColor(const QColor& colour) {
    m_fill = colour;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_style == Style::Filled) {
        painter.fillRect(rect(), m_fill);
        return;
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace tavrin
