#include "platform/QtFileDialog.h"

#include <QFileDialog>
#include <QPixmapCache>

namespace tavrin {

QtFileDialog::QtFileDialog(QWidget* parent)
    : m_parent(parent) {}

QStringList QtFileDialog::nameFilters(const QString& filter) {
    QStringList filters;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == u"*.*")
                pattern = QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns.join(u' '));
    }
    return filters;
}

// Each dialog draws icons of its own, and the global pixmap cache keeps the scaled pixmaps of
// every one of them under that icon's key, for a dialog that never draws again: up to its limit of
// 10 MB, scattered through the heap, they grew the program by about 60 KiB a dialog. Once the
// dialog has gone, they go too.
std::optional<QString> QtFileDialog::choose(Purpose purpose, const FileTypes& types) {
    const std::optional<QString> chosen = ask(purpose, types);
    QPixmapCache::clear();
    return chosen;
}

std::optional<QString> QtFileDialog::ask(Purpose purpose, const FileTypes& types) {
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(purpose == Purpose::Save ? QFileDialog::AcceptSave
                                                  : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = nameFilters(types.filter);
    dialog.setNameFilters(filters);
    if (types.preselected >= 1 && types.preselected <= filters.size())
        dialog.selectNameFilter(filters.at(types.preselected - 1));
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    m_fileName = dialog.selectedFiles().constFirst();
    return m_fileName;
}

} // namespace tavrin
