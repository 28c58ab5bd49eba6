#pragma once

#include <QObject>

namespace tavrin {

class StatusPanel;

// The byte count of a write or verify pass as a bar on standard error, redrawn in place; shown
// only where standard error is a terminal.
class ProgressBar : public QObject {
    Q_OBJECT

public:
    explicit ProgressBar(StatusPanel& panel, QObject* parent = nullptr);
    ~ProgressBar() override;

    static bool wanted();

private:
    void draw();

    StatusPanel& m_panel;
    bool m_drawn = false;
};

} // namespace tavrin
