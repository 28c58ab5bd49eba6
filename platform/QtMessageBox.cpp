#include "platform/QtMessageBox.h"

#include <QMessageBox>

namespace tavrin {

namespace {

constexpr int ButtonsMask = 0x0F;
constexpr int IconMask = 0xF0;

QMessageBox::Icon iconFor(int code) {
    switch (code & IconMask) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons buttonsFor(int code) {
    switch (code & ButtonsMask) {
    case 1:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case 3:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case 4:
        return QMessageBox::Yes | QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

int answerFor(int button) {
    switch (button) {
    case QMessageBox::Cancel:
        return 2;
    case QMessageBox::Yes:
        return MessageBox::Yes;
    case QMessageBox::No:
        return MessageBox::No;
    default:
        return MessageBox::Ok;
    }
}

} // namespace

QtMessageBox::QtMessageBox(QWidget* parent)
    : m_parent(parent) {}

int QtMessageBox::show(const QString& prompt, int code, const QString& title,
                       const QString& details) {
    QMessageBox box(iconFor(code), title, prompt, buttonsFor(code), m_parent);
    if (!details.isEmpty())
        box.setDetailedText(details);
    // Closing a Yes/No box with the window's close button or Escape answers No.
    if ((code & ButtonsMask) == 4)
        box.setEscapeButton(QMessageBox::No);
    return answerFor(box.exec());
}

} // namespace tavrin
