#include "tools/support/messages.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace tool {

void note(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(message));
}

int fail(const QString &message, int status)
{
    note(message);
    return status;
}

QString errorText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace tool
