#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ordisp {

// A server connection lives on a thread of its own and the caller waits for each call at most a
// deadline. The statement time-out set on each statement is not enough: psqlODBC enforces it on
// the server, so a server that hangs (stopped, swapped out, behind a dead link that still
// acknowledges) keeps the caller in recv() for good, and the display with it. A call that overruns
// its deadline abandons the session: the caller goes on at once with an error and a fresh
// connection, while the old one is closed on its own thread whenever the driver returns.
class OdbcSession {
public:
    // connectionName: the Qt SQL connection the jobs use; removed when the session ends.
    static std::shared_ptr<OdbcSession> start(const QString& connectionName);
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    QString connectionName() const { return m_name; }

    // Runs job on the session's thread. False when it did not end within deadline; whatever the
    // job writes must then outlive the caller.
    [[nodiscard]] bool run(std::function<void()> job, std::chrono::milliseconds deadline);
    // Closes the connection and waits for the thread, so that nothing of it runs on while the
    // process ends. A thread stuck in the driver past deadline is abandoned instead.
    void end(std::chrono::milliseconds deadline);
    // Gives the connection up at once; its thread closes it whenever the driver returns.
    void abandon();

private:
    explicit OdbcSession(QString connectionName);
    static void removeConnection(const QString& name);
    void stop();
    void loop();

    const QString m_name;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_finishing = false;
    std::thread m_thread;
};

} // namespace ordisp
