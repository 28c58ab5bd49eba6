#pragma once

#include "platform/FileDialog.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace tavrin::test {

// A file dialog that logs its settings and showings and answers from a script.
class FakeFileDialog : public FileDialog {
public:
    void setCancelError(bool raise) override;
    void setFlags(int flags) override;
    void setFilter(const QString& filter) override;
    void setFilterIndex(int index) override;
    Answer showOpen() override { return show(QStringLiteral("ShowOpen")); }
    Answer showSave() override { return show(QStringLiteral("ShowSave")); }
    QString fileName() const override { return m_fileName; }

    // The next showings choose these paths in turn; nullopt cancels. Afterwards: cancel.
    void choose(QList<std::optional<QString>> answers) { m_answers = std::move(answers); }

    QStringList calls() const { return m_calls; }
    // The file name each showing started from.
    QStringList startedFrom() const { return m_startedFrom; }
    int showings() const { return m_startedFrom.size(); }

private:
    Answer show(const QString& call);

    QList<std::optional<QString>> m_answers;
    QStringList m_calls;
    QStringList m_startedFrom;
    QString m_fileName;
};

} // namespace tavrin::test
