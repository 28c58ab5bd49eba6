#include "image/ImageDialog.h"

#include "platform/FileDialog.h"

namespace tavrin {

ImageDialog::ImageDialog(FileDialog& dialog)
    : m_dialog(dialog) {}

std::optional<QString> ImageDialog::chooseFileToSave() {
    return m_dialog.choose(FileDialog::Purpose::Save, {Filter, BinaryFilesIndex});
}

std::optional<QString> ImageDialog::chooseFileToOpen() {
    return m_dialog.choose(FileDialog::Purpose::Open, {Filter, BinaryFilesIndex});
}

} // namespace tavrin
