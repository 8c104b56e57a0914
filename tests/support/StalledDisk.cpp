// Loaded into a program under test with LD_PRELOAD: its writes to the files below
// TARVEL_STALL_FOLDER hang while the file TARVEL_STALL_FILE exists, as on a disk or a network
// share that has stopped answering, and go on once it is gone. Nothing else changes: the
// program's own SQLite, files and output work as they do in the field.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool isBelowStalledFolder(int fd) {
    const char* folder = std::getenv("TARVEL_STALL_FOLDER");
    if (!folder || !*folder)
        return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[PATH_MAX];
    const ssize_t size = ::readlink(link, path, sizeof path - 1);
    if (size <= 0)
        return false;
    path[size] = '\0';
    return std::strncmp(path, folder, std::strlen(folder)) == 0;
}

void holdWhileStalled(int fd) {
    const char* stall = std::getenv("TARVEL_STALL_FILE");
    if (!stall || !isBelowStalledFolder(fd))
        return;
    const timespec pause{0, 10 * 1000 * 1000};
    while (::access(stall, F_OK) == 0)
        ::nanosleep(&pause, nullptr);
}

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t size) {
    holdWhileStalled(fd);
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return real(fd, bytes, size);
}

ssize_t pwrite(int fd, const void* bytes, size_t size, off_t at) {
    holdWhileStalled(fd);
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return real(fd, bytes, size, at);
}

ssize_t pwrite64(int fd, const void* bytes, size_t size, off64_t at) {
    holdWhileStalled(fd);
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return real(fd, bytes, size, at);
}

int fsync(int fd) {
    holdWhileStalled(fd);
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

int fdatasync(int fd) {
    holdWhileStalled(fd);
    static const auto real = next<int (*)(int)>("fdatasync");
    return real(fd);
}
}
