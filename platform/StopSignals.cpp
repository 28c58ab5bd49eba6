#include "platform/StopSignals.h"

#include "platform/SystemCalls.h"

#include <csignal>

namespace tavrin {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

} // namespace

StopSignals::StopSignals()
    : m_signals(SystemCalls::stopSignals()) {
    stopRequested = 0;
    for (int signal : m_signals)
        m_before.push_back(std::signal(signal, requestStop));
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < m_signals.size(); ++i)
        std::signal(m_signals[i], m_before[i]);
}

bool StopSignals::requested() {
    return stopRequested != 0;
}

} // namespace tavrin
