#pragma once

#include "platform/FileDialog.h"

#include <QList>
#include <QStringList>

namespace tavrin::test {

// A file dialog that logs its showings and answers from a script.
class FakeFileDialog : public FileDialog {
public:
    std::optional<QString> choose(Purpose purpose, const FileTypes& types) override;

    // The next showings choose these paths in turn; nullopt cancels. Afterwards: cancel.
    void choose(QList<std::optional<QString>> answers) { m_answers = std::move(answers); }
    // Every showing from now on chooses `path`.
    void chooseAlways(const QString& path) { m_always = path; }

    // "Open All Files (*.*)|*.*|Binary Files(*.bin)|*.bin 2", one a showing.
    QStringList calls() const { return m_calls; }
    // The file name each showing started from.
    QStringList startedFrom() const { return m_startedFrom; }
    int showings() const { return m_startedFrom.size(); }

private:
    QList<std::optional<QString>> m_answers;
    std::optional<QString> m_always;
    QStringList m_calls;
    QStringList m_startedFrom;
    QString m_fileName;
};

} // namespace tavrin::test
