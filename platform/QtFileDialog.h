#pragma once

#include "platform/FileDialog.h"

#include <QFileIconProvider>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace tavrin {

// The file dialog over Qt's own QFileDialog, the same on every desktop.
class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent = nullptr);

    std::optional<QString> choose(Purpose purpose, const FileTypes& types) override;

    // "Text|*.txt;*.log|All|*.*" as Qt name filters whose shown text is the description alone.
    // "*.*" means every file, with or without a dot in its name.
    static QStringList nameFilters(const QString& filter);

    void setParentWidget(QWidget* parent) { m_parent = parent; }

private:
    std::optional<QString> ask(Purpose purpose, const FileTypes& types);
    QPointer<QWidget> m_parent;
    QString m_fileName;
    QFileIconProvider m_icons;
    QIcon m_headerIcon;
};

} // namespace tavrin
