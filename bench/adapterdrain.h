#pragma once

// A reader on the simulated adapter's device that drains it as the program's
// reader does (waits of at most 10 ms, everything there read at once, frames
// cut and checked), for the benchmarks that measure the simulator's pacing.

#include "bench/benchsupport.h"
#include "link/protocol.h"

#include <QByteArray>

#include <limits>
#include <poll.h>
#include <unistd.h>

namespace bench {

struct Drained {
    quint64 valid = 0, invalid = 0, reads = 0;
    double first = -1, last = 0; // when the first and the last valid frame came (monotonicSeconds)
};

// Until nothing came for `quiet` seconds after the first frame, or `limit`
// seconds passed.
inline Drained drainAdapter(int fd, double limit, double quiet = std::numeric_limits<double>::infinity())
{
    Drained d;
    QByteArray buffer;
    char chunk[65536];
    const double start = monotonicSeconds();
    double lastData = start;
    for (;;) {
        const double now = monotonicSeconds();
        if (now - start > limit || (d.first >= 0 && now - lastData > quiet))
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        ssize_t n;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
            buffer.append(chunk, int(n));
        ++d.reads;
        lastData = monotonicSeconds();
        wire::cutFrames(buffer, [&](const char *slice) {
            if (wire::isValidFrame(wire::AdapterFrame{slice, {}})) {
                ++d.valid;
                if (d.first < 0)
                    d.first = lastData;
                d.last = lastData;
            } else {
                ++d.invalid;
            }
        });
    }
    return d;
}

} // namespace bench
