#include "FileIO.h"

#include <cerrno>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zvc {
namespace {

void setError(std::string* error, const std::string& what, int err)
{
    if (error)
        *error = what + " (" + std::strerror(err) + ")";
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// Opens a new, exclusive temporary file beside `path`; mode 0666 so the
// umask decides the final permissions as for any newly written file.
int openTemporary(const std::string& path, std::string* tempPath)
{
    std::random_device device;
    const std::string base = folderOf(path) + "/." + fileNameOf(path) + ".tmp-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", unsigned(device()));
        *tempPath = base + suffix;
        const int fd = ::open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::optional<Bytes> readWholeFile(const std::string& path, std::string* error, std::size_t maxBytes)
{
    // Non-blocking, so opening a FIFO without a writer returns at once; it is
    // refused below like every other kind of file that is not a plain one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        setError(error, "cannot open " + path, errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setError(error, "cannot read " + path, errno);
        ::close(fd);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = path + " is not a regular file";
        ::close(fd);
        return std::nullopt;
    }
    auto tooLarge = [&] {
        if (error)
            *error = path + " is larger than " + std::to_string(maxBytes >> 20) + " MiB";
        ::close(fd);
        return std::nullopt;
    };
    if (st.st_size < 0 || std::uint64_t(st.st_size) > maxBytes)
        return tooLarge();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Bytes data;
    data.reserve(std::size_t(st.st_size));
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setError(error, "cannot read " + path, errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (data.size() + std::size_t(n) > maxBytes)
            return tooLarge();
        data.insert(data.end(), chunk, chunk + n);
    }
    ::close(fd);
    return data;
}

bool writeFileAtomically(const std::string& path, const Bytes& data, std::string* error)
{
    std::string tempPath;
    const int fd = openTemporary(path, &tempPath);
    if (fd < 0) {
        setError(error, "cannot create a temporary file beside " + path, errno);
        return false;
    }
    auto fail = [&](const std::string& what) {
        const int err = errno;
        ::unlink(tempPath.c_str());
        setError(error, what, err);
        return false;
    };
    if (!writeAll(fd, data.data(), data.size())) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return fail("cannot write " + tempPath);
    }
    if (::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return fail("cannot flush " + tempPath);
    }
    if (::close(fd) != 0)
        return fail("cannot close " + tempPath);
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
        return fail("cannot replace " + path);
    // Make the rename itself durable; a failure here no longer risks the data.
    const int dirFd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace zvc
