#include "tools/support/standardstreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tool {

int holdClosedStandardStreams()
{
    int closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        closed |= 1 << fd;
        // The lower ones are open by now: open() gives this very number.
        const int held = ::open("/dev/null", O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
    return closed;
}

} // namespace tool
