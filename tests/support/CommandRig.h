#pragma once

#include "LinkRig.h"

#include "app/StatusPanel.h"

#include <QStringList>
#include <QTemporaryDir>

namespace tavrin::test {

// The commands on the faked link, with a port chosen and a folder for image files, and the
// window's status panel following them. The panel's history is kept as lines such as
// "Caption=A (41)", "Shape3 shown 43.3594 000000ff".
struct CommandRig : LinkRig {
    explicit CommandRig(DeviceFaults faults = {})
        : LinkRig(std::move(faults)) {
        comm.setDevice(1, QStringLiteral("/dev/ttyUSB0"));
        QObject::connect(&panel, &StatusPanel::captionChanged,
                         [this](const QString& caption) { history << "Caption=" + caption; });
        QObject::connect(&panel, &StatusPanel::foreColorChanged, [this](quint32 colour) {
            history << QStringLiteral("ForeColor=%1").arg(colour, 8, 16, QChar(u'0'));
        });
        QObject::connect(&panel, &StatusPanel::shapeChanged, [this](StatusPanel::Shape which) {
            const auto& shape = panel.shape(which);
            const QString name = QStringLiteral("Shape%1").arg(int(which) + 1);
            history << QStringLiteral("%1 %2 %3 %4")
                           .arg(name, shape.Visible ? "shown" : "hidden")
                           .arg(double(shape.Width))
                           .arg(shape.FillColor, 8, 16, QChar(u'0'));
        });
    }

    // Chooses Com1 and forgets what that sent.
    void choosePort() {
        link.choosePort(1);
        comm.clearCalls();
        start = comm.outputs().size();
    }
    // From now on every pass of the event loop asks for both commands and for Com3; each
    // request appends whether it was refused.
    void clickEverythingOnEachPass(QList<bool>& refused) {
        pump.setBeforePass([this, &refused] {
            refused << (runner.readAndSave().end == CommandEnd::NotStarted);
            refused << (runner.writeAndVerify().end == CommandEnd::NotStarted);
            refused << (runner.choosePort(3) == CommandEnd::NotStarted);
        });
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList captions() const { return history.filter(QStringLiteral("Caption=")); }
    // Bytes sent since the port was chosen.
    QByteArray sent() const {
        QByteArray bytes;
        for (size_t i = start; i < comm.outputs().size(); ++i)
            bytes += comm.outputs()[i].bytes;
        return bytes;
    }

    QTemporaryDir dir;
    StatusPanel panel{engine.reporter()};
    CommandRunner& runner = engine.runner();
    QStringList history;
    size_t start = 0;
};

} // namespace tavrin::test
