#pragma once

#include "platform/FileDialog.h"

#include <QFileDialog>
#include <QPointer>
#include <QStringList>

namespace tavrin {

// The file dialog over Qt's own QFileDialog, the same on every desktop.
class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent = nullptr);

    void setCancelError(bool raise) override;
    void setFlags(int flags) override;
    void setFilter(const QString& filter) override;
    void setFilterIndex(int index) override;
    Answer showOpen() override;
    Answer showSave() override;
    QString fileName() const override;

    // "Text|*.txt;*.log|All|*.*" as Qt name filters whose shown text is the description alone.
    // "*.*" means every file, with or without a dot in its name.
    static QStringList nameFilters(const QString& filter);

    void setParentWidget(QWidget* parent) { m_parent = parent; }

private:
    Answer show(QFileDialog::AcceptMode mode);

    QPointer<QWidget> m_parent;
    bool m_cancelError = false;
    int m_flags = 0;
    QString m_filter;
    int m_filterIndex = 1;
    QString m_fileName;
};

} // namespace tavrin
