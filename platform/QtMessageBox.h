#pragma once

#include "platform/MessageBox.h"

#include <QPointer>
#include <QWidget>

namespace tavrin {

// Message boxes over QMessageBox.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr);

    void tell(const QString& prompt, const QString& title, const QString& details = {}) override;
    Answer ask(const QString& prompt, const QString& title, const QString& details = {}) override;

    void setParentWidget(QWidget* parent) { m_parent = parent; }

private:
    QPointer<QWidget> m_parent;
};

} // namespace tavrin
