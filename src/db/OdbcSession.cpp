#include "OdbcSession.h"

#include <QSqlDatabase>

#include <future>

namespace ordisp {

std::shared_ptr<OdbcSession> OdbcSession::start(const QString& connectionName) {
    auto session = std::shared_ptr<OdbcSession>(new OdbcSession(connectionName));
    // The thread holds the session too: abandoned, it outlives its connection.
    session->m_thread = std::thread([session] { session->loop(); });
    return session;
}

OdbcSession::OdbcSession(QString connectionName)
    : m_name(std::move(connectionName)) {}

OdbcSession::~OdbcSession() {
    if (m_thread.joinable())
        m_thread.detach();
}

bool OdbcSession::run(std::function<void()> job, std::chrono::milliseconds deadline) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back([job = std::move(job), done] {
            job();
            done->set_value();
        });
    }
    m_wake.notify_one();
    return finished.wait_for(deadline) == std::future_status::ready;
}

void OdbcSession::end(std::chrono::milliseconds deadline) {
    const QString name = m_name;
    const bool closed = run([name] { removeConnection(name); }, deadline);
    stop();
    if (closed)
        m_thread.join();
    else
        m_thread.detach();
}

void OdbcSession::abandon() {
    stop();
    m_thread.detach();
}

void OdbcSession::removeConnection(const QString& name) {
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

void OdbcSession::stop() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
}

void OdbcSession::loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_finishing || !m_jobs.empty(); });
            if (m_jobs.empty())
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
    removeConnection(m_name);
}

} // namespace ordisp
