#include "platform/core/RegularFileOpen.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenRegularFile(const char* path, std::int64_t maxBytes, std::int64_t* size)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info = {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if (info.st_size > maxBytes)
        error = EFBIG;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    if (size)
        *size = info.st_size;
    return fd;
}
