#include "core/seconds.h"

namespace core {

bool parseSeconds(const char *text, int size, qint64 &micros, int *fractionDigits)
{
    qint64 whole = 0;
    int i = 0;
    for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (i == 12)
            return false; // more than 12 digits
        whole = whole * 10 + (text[i] - '0');
    }
    if (i == 0)
        return false;
    qint64 fraction = 0;
    int digits = -1;
    if (i < size) {
        if (text[i] != '.')
            return false;
        digits = 0;
        for (++i; i < size; ++i, ++digits) {
            if (text[i] < '0' || text[i] > '9' || digits >= 9)
                return false;
            if (digits < 6)
                fraction = fraction * 10 + (text[i] - '0');
        }
    }
    for (int d = qMax(digits, 0); d < 6; ++d)
        fraction *= 10;
    micros = whole * 1000000 + fraction;
    if (fractionDigits)
        *fractionDigits = digits;
    return true;
}

} // namespace core
