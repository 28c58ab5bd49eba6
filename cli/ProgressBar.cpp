#include "cli/ProgressBar.h"

#include "commands/Colours.h"
#include "commands/StatusPanel.h"
#include "link/WireFormat.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace tavrin {

namespace {

constexpr int BarWidth = 32;

} // namespace

ProgressBar::ProgressBar(StatusPanel& panel, QObject* parent)
    : QObject(parent)
    , m_panel(panel) {
    connect(&m_panel, &StatusPanel::shapeChanged, this, [this](StatusPanel::Shape which) {
        if (which == StatusPanel::Shape::Shape3)
            draw();
    });
}

ProgressBar::~ProgressBar() {
    if (m_drawn)
        std::fputs("\n", stderr);
}

bool ProgressBar::wanted() {
    return ::isatty(STDERR_FILENO) == 1;
}

void ProgressBar::draw() {
    const auto& fill = m_panel.shape(StatusPanel::Shape::Shape3);
    if (!fill.Visible)
        return;
    const float step = m_panel.Width(StatusPanel::Shape::Shape1) / Wire::EepromSize;
    const int bytes = int(std::lround(fill.Width / step));
    const int marks = std::min(BarWidth, bytes * BarWidth / Wire::EepromSize);
    const char* pass = fill.FillColor == Colour::Green ? "verifying" : "writing  ";
    std::fprintf(stderr, "\r%s [%s%s] %2d/%d", pass, QByteArray(marks, '#').constData(),
                 QByteArray(BarWidth - marks, '.').constData(), bytes, Wire::EepromSize);
    std::fflush(stderr);
    m_drawn = true;
}

} // namespace tavrin
