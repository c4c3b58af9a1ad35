#include "files.h"

#include "syserror.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool IpcPlatform::writeFileAtomically(const std::string &path, const std::string &bytes, std::string &error)
{
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = errorText(errno);
        return false;
    }
    // mkstemp creates the file 0600: keep the mode of the file being
    // replaced, or make an ordinary file
    struct stat existing;
    fchmod(fd, ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644);

    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errorText(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = errorText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = errorText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool IpcPlatform::readFile(const std::string &path, std::string &bytes, std::string &error)
{
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f) {
        error = errorText(errno);
        return false;
    }
    bytes.clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    bool failed = std::ferror(f) != 0;
    int code = errno;
    std::fclose(f);
    if (failed) {
        error = errorText(code);
        return false;
    }
    return true;
}
