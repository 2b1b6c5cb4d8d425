#include "tests/support/linesettings.h"

// termios2 reports the speed in bits per second, also for rates without a
// Bxxx constant (such as 1228800); it needs the kernel's own definitions, which
// cannot be mixed with <termios.h>, hence this file of its own.
#include <asm/termbits.h>
#include <asm/ioctls.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

LineSettings readLineSettings(int fd)
{
    LineSettings settings;
    struct termios2 tio {};
    if (fd < 0 || ioctl(fd, TCGETS2, &tio) != 0)
        return settings;
    settings.ok = true;
    settings.inputSpeed = tio.c_ispeed;
    settings.outputSpeed = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
    }
    settings.parity = (tio.c_cflag & PARENB) != 0;
    settings.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    settings.hardwareFlowControl = (tio.c_cflag & CRTSCTS) != 0;
    return settings;
}
