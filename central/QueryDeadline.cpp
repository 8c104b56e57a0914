#include "central/QueryDeadline.h"

#include <QSqlDriver>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#ifdef TARVEL_LIBPQ
#include <libpq-fe.h>
#include <sys/socket.h>
#endif

namespace tarvel {

namespace {

using Clock = std::chrono::steady_clock;

// One thread for every deadline of the process, made when the first is armed and left to end
// with the process (it holds nothing but this table).
struct Watchdog {
    struct Armed {
        int socket;
        Clock::time_point deadline;
        bool expired = false;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::map<quint64, Armed> armed;
    quint64 next = 0;

    static Watchdog& instance() {
        static Watchdog* watchdog = [] {
            auto* made = new Watchdog;
            std::thread([made] { made->run(); }).detach();
            return made;
        }();
        return *watchdog;
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            auto soonest = Clock::time_point::max();
            for (auto& [id, each] : armed) {
                if (each.expired)
                    continue;
                if (each.deadline <= Clock::now()) {
                    each.expired = true;
#ifdef TARVEL_LIBPQ
                    ::shutdown(each.socket, SHUT_RDWR);
#endif
                } else {
                    soonest = std::min(soonest, each.deadline);
                }
            }
            if (soonest == Clock::time_point::max())
                changed.wait(lock);
            else
                changed.wait_until(lock, soonest);
        }
    }
};

int socketOf(const QSqlDatabase& database) {
#ifdef TARVEL_LIBPQ
    if (!database.isOpen() || !database.driver())
        return -1;
    const QVariant handle = database.driver()->handle();
    // Qt's driver hands libpq's connection over as PGconn*, which Qt's type system names after
    // libpq's struct.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return -1;
    return PQsocket(*static_cast<PGconn* const*>(handle.constData()));
#else
    Q_UNUSED(database);
    return -1;
#endif
}

}  // namespace

QueryDeadline::QueryDeadline(const QSqlDatabase& database, int ms)
    : socket_(socketOf(database)), ms_(ms) {
    if (socket_ < 0)
        return;
    Watchdog& watchdog = Watchdog::instance();
    std::lock_guard<std::mutex> lock(watchdog.mutex);
    id_ = ++watchdog.next;
    watchdog.armed[id_] = {socket_, Clock::now() + std::chrono::milliseconds(ms_)};
    watchdog.changed.notify_one();
}

QueryDeadline::~QueryDeadline() {
    if (socket_ < 0)
        return;
    Watchdog& watchdog = Watchdog::instance();
    std::lock_guard<std::mutex> lock(watchdog.mutex);
    watchdog.armed.erase(id_);
}

void QueryDeadline::renew() {
    if (socket_ < 0)
        return;
    Watchdog& watchdog = Watchdog::instance();
    std::lock_guard<std::mutex> lock(watchdog.mutex);
    const auto found = watchdog.armed.find(id_);
    if (found != watchdog.armed.end() && !found->second.expired)
        found->second.deadline = Clock::now() + std::chrono::milliseconds(ms_);
}

bool QueryDeadline::expired() const {
    if (socket_ < 0)
        return false;
    Watchdog& watchdog = Watchdog::instance();
    std::lock_guard<std::mutex> lock(watchdog.mutex);
    const auto found = watchdog.armed.find(id_);
    return found != watchdog.armed.end() && found->second.expired;
}

}  // namespace tarvel
