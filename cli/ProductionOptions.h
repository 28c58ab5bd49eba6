#pragma once

#include "production/SerialStamp.h"

#include <QCommandLineOption>
#include <QString>

#include <optional>

class QCommandLineParser;

namespace tavrin {

// The command line's options for a production bench: serial numbers, backups, a log, a batch.
class ProductionOptions {
public:
    ProductionOptions();

    void addTo(QCommandLineParser& parser) const;
    // Reads the options once parsed; the problem as a usage error, empty when they make sense
    // for `command`.
    QString read(const QCommandLineParser& parser, const QString& command);
    // Whether a write needs more than writing and verifying.
    bool wanted() const { return stamp || !backupFolder.isEmpty() || !logPath.isEmpty() || each; }

    std::optional<SerialStamp> stamp;
    QString serialFile;
    QString line; // the line database's connection, instead of a counter file
    QString sequence;
    QString station;
    QString spool;
    std::optional<quint64> serialStart;
    QString backupFolder;
    QString logPath;
    bool each = false;

private:
    // The serial number's options, once both --serial-at and --serial-file are given.
    QString readSerial(const QCommandLineParser& parser);
    QString readLine(const QCommandLineParser& parser);

    QCommandLineOption m_serialAt;
    QCommandLineOption m_serialFile;
    QCommandLineOption m_serialWidth;
    QCommandLineOption m_serialFormat;
    QCommandLineOption m_serialStart;
    QCommandLineOption m_backup;
    QCommandLineOption m_log;
    QCommandLineOption m_each;
    QCommandLineOption m_line;
    QCommandLineOption m_sequence;
    QCommandLineOption m_station;
    QCommandLineOption m_spool;
};

} // namespace tavrin
