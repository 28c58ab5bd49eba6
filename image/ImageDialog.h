#pragma once

#include <QString>

#include <optional>

namespace tavrin {

class FileDialog;

// Asks for an image file with the shared file dialog: any file, or ".bin" files first.
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
    FileDialog& m_dialog;
};

} // namespace tavrin
