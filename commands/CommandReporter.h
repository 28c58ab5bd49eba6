#pragma once

#include "commands/Progress.h"
#include "commands/Stage.h"

#include <QObject>

namespace tavrin {

// What a running command tells its front ends as it goes.
class CommandReporter : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void stageReached(tavrin::Stage stage);
    void progressed(const tavrin::Progress& progress);
};

} // namespace tavrin
