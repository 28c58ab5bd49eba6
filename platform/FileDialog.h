#pragma once

#include <QString>

namespace tavrin {

// The common file dialog: settings made before each showing, then an open or a save showing.
// One object serves every caller, so the name chosen last is where the next showing starts.
class FileDialog {
public:
    enum Flag { HideReadOnly = 0x4, OverwritePrompt = 0x2 };
    enum class Answer { Chosen, Cancelled };

    virtual ~FileDialog() = default;

    virtual void setCancelError(bool raise) = 0;
    virtual void setFlags(int flags) = 0;
    // Pairs of description and pattern, separated by '|'; patterns separated by ';'.
    virtual void setFilter(const QString& filter) = 0;
    // 1-based index of the preselected type.
    virtual void setFilterIndex(int index) = 0;
    virtual Answer showOpen() = 0;
    virtual Answer showSave() = 0;
    virtual QString fileName() const = 0;
};

} // namespace tavrin
