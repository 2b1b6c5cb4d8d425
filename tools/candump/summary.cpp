#include "tools/candump/summary.h"

#include "tools/support/messages.h"

#include <cstdio>
#include <sys/resource.h>

namespace candump {

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

void printSummary(const Summary &s)
{
    tool::note(s.stopReason);
    std::fprintf(stderr, "frames:          %llu (%.1f frames/s)\n", static_cast<unsigned long long>(s.frames),
                 s.seconds > 0 ? double(s.frames) / s.seconds : 0.0);
    if (s.notWritten > 0)
        std::fprintf(stderr, "not written:     %llu of %llu received (the output failed)\n",
                     static_cast<unsigned long long>(s.notWritten),
                     static_cast<unsigned long long>(s.frames + s.notWritten + s.lost + s.unsupported));
    std::fprintf(stderr, "invalid frames:  %llu (header or checksum test)\n",
                 static_cast<unsigned long long>(s.invalid));
    if (s.lost > 0)
        std::fprintf(stderr, "lost:            %llu (the output fell too far behind)\n",
                     static_cast<unsigned long long>(s.lost));
    if (s.unsupported > 0 || s.truncated > 0)
        std::fprintf(stderr, "not held:        %llu left out, %llu cut to 8 bytes by the output format\n",
                     static_cast<unsigned long long>(s.unsupported), static_cast<unsigned long long>(s.truncated));
    if (s.heldBack > 0)
        std::fprintf(stderr, "held back:       %llu (sent before the adapter took the filter list)\n",
                     static_cast<unsigned long long>(s.heldBack));
    std::fprintf(stderr, "identifiers:     %d\n", s.identifiers);
    std::fprintf(stderr, "duration:        %.3f s\n", s.seconds);
    std::fprintf(stderr, "cpu:             %.3f s\n", cpuSeconds());
    std::fprintf(stderr, "output:          %s\n",
                 s.toStandardOutput ? "standard output" : qPrintable(s.files.join(QLatin1Char(' '))));
}

} // namespace candump
