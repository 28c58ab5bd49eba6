#include "image/ImageDialog.h"

#include "platform/FileDialog.h"

namespace tavrin {

ImageDialog::ImageDialog(FileDialog& dialog)
    : m_dialog(dialog) {}

std::optional<QString> ImageDialog::chooseFileToSave() {
    prepare();
    if (m_dialog.showSave() == FileDialog::Answer::Cancelled)
        return std::nullopt;
    return m_dialog.fileName();
}

std::optional<QString> ImageDialog::chooseFileToOpen() {
    prepare();
    if (m_dialog.showOpen() == FileDialog::Answer::Cancelled)
        return std::nullopt;
    return m_dialog.fileName();
}

void ImageDialog::prepare() {
    m_dialog.setCancelError(true);
    m_dialog.setFlags(FileDialog::HideReadOnly);
    m_dialog.setFilter(Filter);
    m_dialog.setFilterIndex(BinaryFilesIndex);
}

} // namespace tavrin
