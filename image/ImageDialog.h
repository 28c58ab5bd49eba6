#pragma once

#include <QString>

#include <optional>

namespace tavrin {

class FileDialog;

// Sets up the shared file dialog for image files and shows it.
class ImageDialog {
public:
    static inline const QString Filter = QStringLiteral("All Files (*.*)|*.*|Binary Files"
                                                        "(*.bin)|*.bin");
    static constexpr int BinaryFilesIndex = 2;

    explicit ImageDialog(FileDialog& dialog);

    // The chosen path, or nothing when the operator cancelled.
    std::optional<QString> chooseFileToSave();
    std::optional<QString> chooseFileToOpen();

private:
    void prepare();

    FileDialog& m_dialog;
};

} // namespace tavrin
