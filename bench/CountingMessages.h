#pragma once

#include "platform/MessageBox.h"

#include <cstdio>

namespace tavrin {

// A message box for the tools in bench/: answers No, counts the showings and logs them to stderr.
class CountingMessages : public MessageBox {
public:
    int show(const QString& prompt, int, const QString& title, const QString&) override {
        ++m_shown;
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(title), qPrintable(prompt));
        return No;
    }
    int shown() const { return m_shown; }

private:
    int m_shown = 0;
};

} // namespace tavrin
