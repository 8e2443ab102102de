// Process facts read from /proc and getrusage, and child processes with a piped stdout.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/types.h>

namespace bench {

// A field of /proc/self/status in kB (VmRSS, VmHWM); -1 when missing.
qint64 statusKb(const char *field);
// Sets VmHWM back to the current resident size, so the next reading is the peak from now on.
bool resetPeakRss();
// User plus system CPU seconds of this whole process so far.
double cpuSeconds();
// Seconds on the monotonic clock.
double monoSeconds();

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess();

    // Starts program with args; its stdout comes to this object (or goes to /dev/null) and its
    // stderr to stderrPath (appended), or is inherited when that is empty.
    bool start(const QString &program, const QStringList &args, bool discardStdout = false,
               const QString &stderrPath = QString());
    // The next line of the child's stdout without its LF; nothing on end of output or timeout.
    std::optional<QByteArray> readLine(double timeoutSeconds);
    // Everything the child writes until it closes its stdout (or the timeout).
    QByteArray readAll(double timeoutSeconds);
    // Waits for the exit; kills the child after the timeout. The exit code, or -1.
    int wait(double timeoutSeconds);
    // SIGTERM, then SIGKILL if it has not exited within a second.
    void stop();
    pid_t pid() const { return m_pid; }

private:
    bool fill(double deadline);

    pid_t m_pid = -1;
    int m_fd = -1;
    QByteArray m_buffer;
    bool m_eof = false;
};

} // namespace bench
