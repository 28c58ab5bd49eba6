#pragma once

#include "platform/MessageBox.h"

namespace tavrin {

// Messages on standard error; the question whether to write again is answered yes while retries
// remain.
class ConsoleMessages : public MessageBox {
public:
    explicit ConsoleMessages(int retries = 0)
        : m_retriesLeft(retries) {}

    void tell(const QString& prompt, const QString& title, const QString& details = {}) override;
    Answer ask(const QString& prompt, const QString& title, const QString& details = {}) override;
    // While quiet, what would be told is left unsaid.
    void setQuiet(bool quiet) { m_quiet = quiet; }

private:
    int m_retriesLeft;
    bool m_quiet = false;
};

} // namespace tavrin
