#pragma once

#include "platform/MessageBox.h"

namespace tavrin {

// Messages on standard error. A console has nobody to answer a question: the command line
// gives its commands their answers as options (a write's retries), and a question is answered no.
class ConsoleMessages : public MessageBox {
public:
    void tell(const QString& prompt, const QString& title, const QString& details = {}) override;
    Answer ask(const QString& prompt, const QString& title, const QString& details = {}) override;
    // While quiet, what would be told is left unsaid.
    void setQuiet(bool quiet) { m_quiet = quiet; }

private:
    bool m_quiet = false;
};

} // namespace tavrin
