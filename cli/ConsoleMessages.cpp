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

MessageBox::Answer ConsoleMessages::ask(const QString& prompt, const QString& title,
                                        const QString& details) {
    tell(prompt, title, details);
    return Answer::No;
}

} // namespace tavrin
