#include "platform/QtFileDialog.h"

namespace tavrin {

QtFileDialog::QtFileDialog(QWidget* parent)
    : m_parent(parent) {}

void QtFileDialog::setCancelError(bool raise) {
    m_cancelError = raise;
}

void QtFileDialog::setFlags(int flags) {
    m_flags = flags;
}

void QtFileDialog::setFilter(const QString& filter) {
    m_filter = filter;
}

void QtFileDialog::setFilterIndex(int index) {
    m_filterIndex = index;
}

FileDialog::Answer QtFileDialog::showOpen() {
    return show(QFileDialog::AcceptOpen);
}

FileDialog::Answer QtFileDialog::showSave() {
    return show(QFileDialog::AcceptSave);
}

QString QtFileDialog::fileName() const {
    return m_fileName;
}

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

FileDialog::Answer QtFileDialog::show(QFileDialog::AcceptMode mode) {
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(m_flags & OverwritePrompt));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = nameFilters(m_filter);
    dialog.setNameFilters(filters);
    if (m_filterIndex >= 1 && m_filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(m_filterIndex - 1));
    if (!m_fileName.isEmpty())
        dialog.selectFile(m_fileName);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        if (m_cancelError)
            return Answer::Cancelled;
        m_fileName.clear();
        return Answer::Chosen;
    }
    m_fileName = dialog.selectedFiles().constFirst();
    return Answer::Chosen;
}

} // namespace tavrin
