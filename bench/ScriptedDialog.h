#pragma once

#include "platform/FileDialog.h"

namespace tavrin {

// A file dialog for the tools in bench/: every showing chooses the path last set.
class ScriptedDialog : public FileDialog {
public:
    explicit ScriptedDialog(QString path = {})
        : m_path(std::move(path)) {}
    void choose(const QString& path) { m_path = path; }

    void setCancelError(bool) override {}
    void setFlags(int) override {}
    void setFilter(const QString&) override {}
    void setFilterIndex(int) override {}
    Answer showOpen() override { return Answer::Chosen; }
    Answer showSave() override { return Answer::Chosen; }
    QString fileName() const override { return m_path; }

private:
    QString m_path;
};

} // namespace tavrin
