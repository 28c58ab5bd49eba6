#pragma once

#include <QString>

#include <optional>

namespace tavrin {

// Asks the operator for a file. One object serves every caller, so a showing starts from the
// name chosen last.
class FileDialog {
public:
    enum class Purpose { Open, Save };

    // The types offered, as pairs of description and pattern separated by '|' (patterns separated
    // by ';'), and the 1-based one preselected.
    struct FileTypes {
        QString filter;
        int preselected = 1;
    };

    virtual ~FileDialog() = default;

    // The chosen path, or nothing when the operator cancelled. The name is taken as typed (no
    // extension added), and choosing an existing file to save over asks no question.
    virtual std::optional<QString> choose(Purpose purpose, const FileTypes& types) = 0;
};

} // namespace tavrin
