#include "tools/common/simio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace simio {

bool LineReader::fill(std::vector<std::string> *lines)
{
    char buf[512];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n <= 0)
        return false;
    pending.append(buf, static_cast<size_t>(n));
    size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
        lines->push_back(pending.substr(0, eol));
        pending.erase(0, eol + 1);
    }
    return true;
}

bool writeAll(int fd, const void *data, size_t len)
{
    const char *d = static_cast<const char *>(data);
    while (len > 0) {
        const ssize_t n = write(fd, d, len);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        d += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool openLog(const std::string &path, FILE **log)
{
    if (!path.empty()) {
        *log = fopen(path.c_str(), "a");
        if (!*log) {
            std::fprintf(stderr, "cannot open log %s: %s\n", path.c_str(), strerror(errno));
            return false;
        }
    }
    setvbuf(*log, nullptr, _IOLBF, 0);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    return true;
}

bool openControlFifo(const std::string &path, int *fd, bool *made)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0) {
        if (mkfifo(path.c_str(), 0600) != 0) {
            std::fprintf(stderr, "cannot make FIFO %s: %s\n", path.c_str(), strerror(errno));
            return false;
        }
        *made = true;
    } else if (!S_ISFIFO(st.st_mode)) {
        std::fprintf(stderr, "%s exists and is no FIFO\n", path.c_str());
        return false;
    }
    // Read and write, so the FIFO never reads as ended when a writer closes it.
    *fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (*fd < 0) {
        std::fprintf(stderr, "cannot open FIFO %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    return true;
}

bool mayReplaceLink(const std::string &path)
{
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "%s exists and is no symbolic link\n", path.c_str());
        return false;
    }
    return true;
}

bool makeLink(const std::string &target, const std::string &path)
{
    unlink(path.c_str());
    if (symlink(target.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "cannot link %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    return true;
}

void installStopSignals(void (*handler)(int))
{
    struct sigaction sa{};
    sa.sa_handler = handler;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

} // namespace simio
