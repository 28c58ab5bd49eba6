#pragma once

#include "platform/FileDialog.h"

namespace tavrin {

// The file named on the command line, chosen without asking.
class ArgumentFile : public FileDialog {
public:
    explicit ArgumentFile(QString path)
        : m_path(std::move(path)) {}

    std::optional<QString> choose(Purpose, const FileTypes&) override { return m_path; }

private:
    QString m_path;
};

} // namespace tavrin
