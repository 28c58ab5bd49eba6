#pragma once

#include "LinkRig.h"

#include "commands/CommandReporter.h"

#include <QStringList>
#include <QTemporaryDir>

namespace tavrin::test {

// The commands on the faked link, with a port chosen and a folder for image files. What the
// commands report is kept as lines such as "Stage=WriteStarted", "Progress=Write 1 41".
struct CommandRig : LinkRig {
    explicit CommandRig(DeviceFaults faults = {})
        : LinkRig(std::move(faults)) {
        comm.setDevice(1, QStringLiteral("/dev/ttyUSB0"));
        QObject::connect(&engine.reporter(), &CommandReporter::stageReached,
                         [this](Stage stage) { history << "Stage=" + name(stage); });
        QObject::connect(
            &engine.reporter(), &CommandReporter::progressed, [this](const Progress& progress) {
                history << QStringLiteral("Progress=%1 %2 %3")
                               .arg(progress.pass == Progress::Pass::Write ? "Write" : "Verify")
                               .arg(progress.bytesDone)
                               .arg(progress.lastByte, 2, 16, QChar(u'0'));
            });
    }

    static QString name(Stage stage) {
        static const QStringList names{"ReadStarted",   "ReadFinished",   "ReadAborted",
                                       "WriteStarted",  "WritePassEnded", "WriteFinished",
                                       "VerifyStarted", "VerifyEnded",    "VerifyCompleted",
                                       "VerifyFailed",  "WriteAborted"};
        return names.value(int(stage));
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
            refused << (runner.choosePort(3).end == CommandEnd::NotStarted);
        });
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList stages() const { return history.filter(QStringLiteral("Stage=")); }
    // Bytes sent since the port was chosen.
    QByteArray sent() const {
        QByteArray bytes;
        for (size_t i = start; i < comm.outputs().size(); ++i)
            bytes += comm.outputs()[i].bytes;
        return bytes;
    }

    QTemporaryDir dir;
    CommandRunner& runner = engine.runner();
    QStringList history;
    size_t start = 0;
};

} // namespace tavrin::test
