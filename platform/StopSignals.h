#pragma once

#include <vector>

namespace tavrin {

// While one lives, the signals that ask a running command to stop (Ctrl+C, a service stopping, a
// dropped session) only note the request; the handlers before it come back when it goes.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether one of them came since this began.
    static bool requested();

private:
    std::vector<int> m_signals;
    std::vector<void (*)(int)> m_before;
};

} // namespace tavrin
