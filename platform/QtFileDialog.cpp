#include "platform/QtFileDialog.h"

#include "platform/FileListProxy.h"

#include <QAccessible>
#include <QFileDialog>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tavrin {

QtFileDialog::QtFileDialog(QWidget* parent)
    : m_parent(parent) {
#if defined(__GLIBC__)
    // A dialog's folder listing is made on a thread of Qt's own, so it lives in that thread's heap.
    // Small blocks freed into the allocator's fast lists are only merged when it trims, into the
    // top of that heap, which the trim gives back for the main heap alone: up to a megabyte would
    // stay after some dialogs and not after others. Without fast lists a freed block is merged at
    // once, and the heap's top is given back as it frees.
    mallopt(M_MXFAST, 0);
#endif
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

namespace {

// The identity the accessibility cache gives the next interface it is handed: the identities it
// gives out only grow.
QAccessible::Id nextAccessibleId() {
    QWidget probe;
    return QAccessible::uniqueId(QAccessible::queryAccessibleInterface(&probe));
}

// With an assistive technology listening, the dialog's detailed file list makes a new interface
// for a cell each time it tells of a selection (each time a typed name picks a file), and in this
// Qt nothing deletes them: they stay in the cache, for a list that has gone, until the program
// ends. Those the dialog left, given out between `from` and `to`, go now.
void forgetAccessibleLeftovers(QAccessible::Id from, QAccessible::Id to) {
    if (to <= from)
        return;
    for (QAccessible::Id id = from; id != to; ++id) {
        const QAccessibleInterface* leftover = QAccessible::accessibleInterface(id);
        if (leftover && !leftover->isValid())
            QAccessible::deleteAccessibleInterface(id);
    }
}

} // namespace

std::optional<QString> QtFileDialog::choose(Purpose purpose, const FileTypes& types) {
    const QAccessible::Id before = nextAccessibleId();
    const std::optional<QString> chosen = ask(purpose, types);
    forgetAccessibleLeftovers(before, nextAccessibleId());
    // A dialog lists its whole folder, so what it takes grows with the folder. Freed, the allocator
    // would keep those pages for good, behind the first small block made after them.
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    return chosen;
}

// Every dialog shows the same icons, kept here: icons of its own would each leave their pixmaps in
// Qt's global pixmap cache, and in this Qt a pixmap's key stays there after the pixmap has gone.
std::optional<QString> QtFileDialog::ask(Purpose purpose, const FileTypes& types) {
    if (m_headerIcon.isNull())
        m_headerIcon = FileListProxy::makeHeaderIcon();
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&m_icons);
    dialog.setProxyModel(new FileListProxy(m_headerIcon));
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
