#include "platform/QtMessageBox.h"

#include <QMessageBox>

namespace tavrin {

namespace {

int exec(QMessageBox& box, const QString& details) {
    if (!details.isEmpty())
        box.setDetailedText(details);
    return box.exec();
}

} // namespace

QtMessageBox::QtMessageBox(QWidget* parent)
    : m_parent(parent) {}

void QtMessageBox::tell(const QString& prompt, const QString& title, const QString& details) {
    QMessageBox box(QMessageBox::Warning, title, prompt, QMessageBox::Ok, m_parent);
    exec(box, details);
}

MessageBox::Answer QtMessageBox::ask(const QString& prompt, const QString& title,
                                     const QString& details) {
    QMessageBox box(QMessageBox::Warning, title, prompt, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    // Closing the box with the window's close button or Escape answers No.
    box.setEscapeButton(QMessageBox::No);
    return exec(box, details) == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

} // namespace tavrin
