#include "commands/StatusPanel.h"

namespace tavrin {

StatusPanel::StatusPanel(QObject* parent)
    : QObject(parent) {}

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
