// vornix-candump as it is started: a program without the Qt libraries that
// blocks the stop signals and executes the capture program
// (vornix-candump.cpp, beside it in the build tree, in libexec/vornix when
// installed) with the same arguments.
//
// The Qt libraries take the dynamic loader some milliseconds; a Ctrl+C (or a
// SIGTERM from a script) in that time would kill a process that has not yet
// run a line of its own, with status 130 and no summary. Blocked signals stay
// blocked across the exec, and one that comes meanwhile waits: the capture
// takes it as soon as its main loop starts and ends in order, with status 0
// and its summary.

#include "tools/support/stopsignals.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr const char *CAPTURE = "vornix-candump-capture";

} // namespace

int main(int, char *argv[])
{
    tool::blockStopSignals();
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        std::fprintf(stderr, "vornix-candump: cannot tell where it is installed: %s\n", std::strerror(errno));
        return 2;
    }
    self[length] = '\0';
    *std::strrchr(self, '/') = '\0'; // the folder of this program
    char path[PATH_MAX + 64];
    const char *const folders[] = {"", "/" VORNIX_CAPTURE_DIR};
    for (const char *folder : folders) {
        std::snprintf(path, sizeof path, "%s%s/%s", self, folder, CAPTURE);
        if (::access(path, X_OK) == 0) {
            ::execv(path, argv);
            break;
        }
    }
    std::fprintf(stderr, "vornix-candump: cannot start %s: %s\n", path, std::strerror(errno));
    return 2;
}
