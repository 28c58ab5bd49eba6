#pragma once

#include "image/ImageComparison.h"

#include <QList>

namespace tavrin {

// What a command asks the person at the front end when it has no answer of its own.
class OperatorQuestions {
public:
    virtual ~OperatorQuestions() = default;

    // The verify found these differences: whether to write the same image again.
    virtual bool writeAgain(const QList<CellDifference>& differences) = 0;
};

} // namespace tavrin
