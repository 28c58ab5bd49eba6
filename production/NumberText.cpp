#include "production/NumberText.h"

#include <limits>

namespace tavrin {

NumberText::Parsed NumberText::parse(QStringView text) {
    text = text.trimmed();
    const bool hex = text.startsWith(u"0x", Qt::CaseInsensitive);
    const QStringView digits = hex ? text.mid(2) : text;
    const quint64 base = hex ? 16 : 10;
    Parsed parsed;
    if (digits.isEmpty())
        return parsed;
    quint64 value = 0;
    bool tooBig = false;
    for (const QChar c : digits) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                          : hex && c.toLower() >= u'a' && c.toLower() <= u'f'
                              ? c.toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0)
            return parsed;
        tooBig = tooBig || value > (std::numeric_limits<quint64>::max() - quint64(digit)) / base;
        value = value * base + quint64(digit);
    }
    parsed.problem = tooBig ? Problem::TooBig : Problem::None;
    parsed.value = tooBig ? 0 : value;
    return parsed;
}

} // namespace tavrin
