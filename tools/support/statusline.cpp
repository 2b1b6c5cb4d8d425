#include "tools/support/statusline.h"

#include <cstdio>
#include <unistd.h>

namespace tool {

StatusLine::StatusLine()
    : terminal(::isatty(STDERR_FILENO) == 1)
{
}

void StatusLine::show(const QString &text)
{
    if (!terminal)
        return;
    std::fprintf(stderr, "\r%s\033[K", qPrintable(text));
    std::fflush(stderr);
    shown = true;
}

void StatusLine::clear()
{
    if (shown)
        std::fprintf(stderr, "\r\033[K");
    shown = false;
}

} // namespace tool
