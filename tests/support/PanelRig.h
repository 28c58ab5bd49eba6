#pragma once

#include "CommandRig.h"

#include "app/StatusPanel.h"

namespace tavrin::test {

// The commands on the faked link with the window's status panel following them. The panel's
// history is kept as lines such as "Caption=A (41)", "Shape3 shown 43.3594 000000ff".
struct PanelRig : CommandRig {
    explicit PanelRig(DeviceFaults faults = {})
        : CommandRig(std::move(faults)) {
        QObject::connect(&panel, &StatusPanel::captionChanged,
                         [this](const QString& caption) { shown << "Caption=" + caption; });
        QObject::connect(&panel, &StatusPanel::foreColorChanged, [this](quint32 colour) {
            shown << QStringLiteral("ForeColor=%1").arg(colour, 8, 16, QChar(u'0'));
        });
        QObject::connect(&panel, &StatusPanel::shapeChanged, [this](StatusPanel::Shape which) {
            const auto& shape = panel.shape(which);
            const QString name = QStringLiteral("Shape%1").arg(int(which) + 1);
            shown << QStringLiteral("%1 %2 %3 %4")
                         .arg(name, shape.Visible ? "shown" : "hidden")
                         .arg(double(shape.Width))
                         .arg(shape.FillColor, 8, 16, QChar(u'0'));
        });
    }

    QStringList captions() const { return shown.filter(QStringLiteral("Caption=")); }

    StatusPanel panel{engine.reporter()};
    QStringList shown;
};

} // namespace tavrin::test
