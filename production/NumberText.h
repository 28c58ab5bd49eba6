#pragma once

#include <QStringView>

#include <optional>

namespace tavrin {

// The one reading of a number that the bench is given, in an option or in its counter file:
// white space around it is ignored (a file ends in a newline), and what is left is decimal
// digits, or 0x and hexadecimal digits. No sign, no space inside, nothing after.
class NumberText {
public:
    enum class Problem { None, NotANumber, TooBig };

    struct Parsed {
        quint64 value = 0;
        Problem problem = Problem::NotANumber;
        bool ok() const { return problem == Problem::None; }
        std::optional<quint64> number() const { return ok() ? std::optional(value) : std::nullopt; }
    };

    static Parsed parse(QStringView text);
};

} // namespace tavrin
