#include "tools/support/progress.h"

#include <cstdio>
#include <unistd.h>

namespace tool {

Progress::Progress(const QString &verb, qint64 totalBytes)
    : verb(verb)
    , total(totalBytes)
    , terminal(isatty(STDERR_FILENO) == 1)
{
    clock.start();
}

Progress::~Progress()
{
    if (shown)
        std::fprintf(stderr, "\r%*s\r", 72, "");
}

void Progress::show(qint64 linesRead, qint64 bytesRead)
{
    const qint64 ms = clock.elapsed();
    if (ms < 2000 || ms - lastMs < 500)
        return;
    lastMs = ms;
    shown = true;
    const double rate = double(linesRead) / (double(ms) / 1000.0);
    if (total > 0)
        std::fprintf(stderr, "\r%s: %lld lines, %3d %%, %.2f M lines/s   ", qPrintable(verb),
                     static_cast<long long>(linesRead), int(100 * bytesRead / total), rate / 1e6);
    else
        std::fprintf(stderr, "\r%s: %lld lines, %.2f M lines/s   ", qPrintable(verb),
                     static_cast<long long>(linesRead), rate / 1e6);
    std::fflush(stderr);
}

} // namespace tool
