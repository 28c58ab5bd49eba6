#include "platform/QtMessagePump.h"

#include <QCoreApplication>

namespace tavrin {

void QtMessagePump::processPending() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessagePump::waitForMore() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace tavrin
