#include "cli/ProgressBar.h"

#include "commands/CommandReporter.h"
#include "link/WireFormat.h"
#include "platform/SystemCalls.h"

#include <algorithm>
#include <cstdio>

namespace tavrin {

namespace {

constexpr int BarWidth = 32;

} // namespace

ProgressBar::ProgressBar(CommandReporter& reporter, QObject* parent)
    : QObject(parent) {
    connect(&reporter, &CommandReporter::progressed, this, &ProgressBar::draw);
}

ProgressBar::~ProgressBar() {
    if (m_drawn)
        std::fputs("\n", stderr);
}

bool ProgressBar::wanted() {
    return SystemCalls::standardErrorIsTerminal();
}

void ProgressBar::draw(const Progress& progress) {
    // An image longer than the EEPROM is sent whole: its count runs past the bar's end.
    const int bytes = progress.bytesDone;
    const int marks = std::min(BarWidth, bytes * BarWidth / Wire::EepromSize);
    const char* pass = progress.pass == Progress::Pass::Verify ? "verifying" : "writing  ";
    std::fprintf(stderr, "\r%s [%s%s] %2d/%d", pass, QByteArray(marks, '#').constData(),
                 QByteArray(BarWidth - marks, '.').constData(), bytes, Wire::EepromSize);
    std::fflush(stderr);
    m_drawn = true;
}

} // namespace tavrin
