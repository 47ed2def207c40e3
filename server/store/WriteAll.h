#pragma once
// Writes all of a buffer to a file descriptor, through short writes and
// interruptions: false (with errno set) when the disk is full or the file may
// grow no further.

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace snapora::server {

inline bool WriteAll(int fd, const char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

}  // namespace snapora::server
