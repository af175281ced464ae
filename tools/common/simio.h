#pragma once
// The plumbing the simulators (tools/devsim, tools/modemsim) share: the control lines read
// from standard input and a FIFO, the log file, the symbolic link to their pty and the
// signals that stop them. Each reports its failure on standard error.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace simio {

// Lines from one file descriptor, split at line feeds.
struct LineReader
{
    int fd = -1;
    std::string pending;
    // Appends what can be read; false at end of file or on an error.
    bool fill(std::vector<std::string> *lines);
};

// Writes all of it, across short writes and interruptions; false when the line refuses.
bool writeAll(int fd, const void *data, size_t len);
inline bool writeAll(int fd, const std::string &data) { return writeAll(fd, data.data(), data.size()); }

// The log in PATH (appended to) or, with no path, standard output as it is; both flushed
// a line at a time so a reader sees each line as it happens.
bool openLog(const std::string &path, FILE **log);

// PATH made as a FIFO unless it is one already (*made says whether we made it), opened for
// reading without blocking.
bool openControlFifo(const std::string &path, int *fd, bool *made);

// False when something other than a symbolic link stands at PATH: it is not ours to replace.
bool mayReplaceLink(const std::string &path);
// PATH (whatever link stood there before) made a symbolic link to target.
bool makeLink(const std::string &target, const std::string &path);

// SIGTERM, SIGINT and SIGHUP call handler without restarting system calls, so a blocked
// poll returns and the main loop sees its stop flag; SIGPIPE is ignored.
void installStopSignals(void (*handler)(int));

} // namespace simio
