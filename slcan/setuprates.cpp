#include "slcan/setuprates.h"

namespace slcan {

namespace {

// The rate list's name of a whole number of kbit/s: "500 kbps".
QString rateName(quint32 bitsPerSecond)
{
    return QStringLiteral("%1 kbps").arg(bitsPerSecond / 1000);
}

} // namespace

const wire::CanRate *adapterRateOfSetup(int n)
{
    if (n < 0 || n >= SETUP_CODES)
        return nullptr;
    return wire::findCanRate(rateName(SETUP_BIT_RATES[n]));
}

QString setupCommandOf(const wire::CanRate &rate)
{
    for (int n = 0; n < SETUP_CODES; ++n) {
        if (adapterRateOfSetup(n) == &rate)
            return QStringLiteral("S%1").arg(n);
    }
    return QString();
}

} // namespace slcan
