#include "terminalhangup.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

bool hangUpTerminal(const QString& devicePath) {
    const int fd = ::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool done = ::ioctl(fd, TIOCVHANGUP) == 0;
    ::close(fd);
    return done;
}
