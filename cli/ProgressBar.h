#pragma once

#include <QObject>

namespace tavrin {

class CommandReporter;
struct Progress;

// The byte count of a write or verify pass as a bar on standard error, redrawn in place; shown
// only where standard error is a terminal.
class ProgressBar : public QObject {
    Q_OBJECT

public:
    explicit ProgressBar(CommandReporter& reporter, QObject* parent = nullptr);
    ~ProgressBar() override;

    static bool wanted();

private:
    void draw(const Progress& progress);

    bool m_drawn = false;
};

} // namespace tavrin
