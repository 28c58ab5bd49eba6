#include "platform/QtFileDialog.h"

#include <QFileDialog>

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

std::optional<QString> QtFileDialog::choose(Purpose purpose, const FileTypes& types) {
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
