#include "cli/ConsoleMessages.h"

#include <QTextStream>

namespace tavrin {

namespace {

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

} // namespace

void ConsoleMessages::tell(const QString& prompt, const QString& title, const QString& details) {
    if (m_quiet)
        return;
    err() << "tavrin: " << title << ": " << QString(prompt).replace(u'\n', u' ') << Qt::endl;
    if (!details.isEmpty())
        err() << details << Qt::endl;
}

MessageBox::Answer ConsoleMessages::ask(const QString&, const QString& title,
                                        const QString& details) {
    if (m_retriesLeft == 0)
        return Answer::No;
    --m_retriesLeft;
    const qsizetype cells = details.isEmpty() ? 0 : details.count(u'\n') + 1;
    err() << "tavrin: " << title << " " << cells << (cells == 1 ? " cell differs" : " cells differ")
          << "; writing again" << Qt::endl;
    return Answer::Yes;
}

} // namespace tavrin
