#include "proc.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

extern char **environ;

namespace bench {

qint64 statusKb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix)) {
            const QList<QByteArray> parts = line.mid(prefix.size()).simplified().split(' ');
            return parts.isEmpty() ? -1 : parts.first().toLongLong();
        }
    }
    return -1;
}

bool resetPeakRss() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write("5") == 1;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double monoSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0)
        stop();
    if (m_fd >= 0)
        close(m_fd);
}

bool ChildProcess::start(const QString &program, const QStringList &args, bool discardStdout,
                         const QString &stderrPath) {
    int pipeFds[2] = {-1, -1};
    if (!discardStdout && pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (discardStdout)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    const QByteArray errPath = stderrPath.toLocal8Bit();
    if (!stderrPath.isEmpty())
        posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);

    std::vector<QByteArray> storage;
    storage.push_back(program.toLocal8Bit());
    for (const QString &a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (!discardStdout)
        close(pipeFds[1]);
    if (rc != 0) {
        m_pid = -1;
        if (!discardStdout)
            close(pipeFds[0]);
        return false;
    }
    m_fd = discardStdout ? -1 : pipeFds[0];
    m_eof = discardStdout;
    return true;
}

bool ChildProcess::fill(double deadline) {
    if (m_eof || m_fd < 0)
        return false;
    const double left = deadline - monoSeconds();
    if (left <= 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    const int ready = poll(&p, 1, int(left * 1000) + 1);
    if (ready <= 0)
        return false;
    char chunk[65536];
    const ssize_t n = read(m_fd, chunk, sizeof chunk);
    if (n <= 0) {
        m_eof = true;
        return false;
    }
    m_buffer.append(chunk, n);
    return true;
}

std::optional<QByteArray> ChildProcess::readLine(double timeoutSeconds) {
    const double deadline = monoSeconds() + timeoutSeconds;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            return line;
        }
        if (!fill(deadline))
            return std::nullopt;
    }
}

QByteArray ChildProcess::readAll(double timeoutSeconds) {
    const double deadline = monoSeconds() + timeoutSeconds;
    while (fill(deadline)) {
    }
    QByteArray all = m_buffer;
    m_buffer.clear();
    return all;
}

int ChildProcess::wait(double timeoutSeconds) {
    if (m_pid <= 0)
        return -1;
    const double deadline = monoSeconds() + timeoutSeconds;
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid)
            break;
        if (r < 0 && errno != EINTR) {
            m_pid = -1;
            return -1;
        }
        if (monoSeconds() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_pid = -1;
            return -1;
        }
        usleep(500);
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::stop() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    wait(1.0); // kills it if it is still there after that
}

} // namespace bench
