// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/pattern_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

namespace kelvandor {

namespace {

constexpr mode_t NewFileMode = 0666;  // narrowed by the umask
// O_NONBLOCK: opening a FIFO that nobody reads fails (ENXIO) instead of waiting forever.
constexpr int OpenFlags = O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Writes all of `length` bytes. Returns 0 or the errno of the failure.
int writeAll(int fd, const char* bytes, int length) {
    int done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, static_cast<std::size_t>(length - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : ENOSPC;
        }
        done += static_cast<int>(n);
    }
    return 0;
}

// Closes `fd`; returns `error` when set, else the errno of a failed close.
int closeKeeping(int fd, int error) {
    if (::close(fd) != 0 && error == 0) {
        return errno;
    }
    return error;
}

}  // namespace

int formatPatternRow(char (&row)[PatternRowSize], const std::int32_t* values) {
    const int length =
        std::snprintf(row, sizeof row, "%d\t%d\t%d\t%d\t%d\t%d\t%d\r\n", values[0], values[1],
                      values[2], values[3], values[4], values[5], values[6]);
    return length < 0 ? 0 : length;
}

int appendPatternRow(const std::int32_t* values) {
    char row[PatternRowSize];
    const int length = formatPatternRow(row, values);
    const int fd = ::open(PatternFileName, OpenFlags | O_APPEND, NewFileMode);
    if (fd < 0) {
        return errno;
    }
    struct stat before {};
    const bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    const int error = writeAll(fd, row, length);
    if (error != 0 && regular) {
        // A disk that fills up in the middle of the row: take the part that was written
        // back out, so the file holds whole rows only.
        [[maybe_unused]] const int ignored = ::ftruncate(fd, before.st_size);
    }
    return closeKeeping(fd, error);
}

int emptyPatternFile() {
    const int fd = ::open(PatternFileName, OpenFlags | O_TRUNC, NewFileMode);
    if (fd < 0) {
        return errno;
    }
    return closeKeeping(fd, 0);
}

std::string patternFilePath() {
    char directory[PATH_MAX];
    if (::getcwd(directory, sizeof directory) == nullptr) {
        return PatternFileName;
    }
    std::string path = directory;
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path + PatternFileName;
}

}  // namespace kelvandor
