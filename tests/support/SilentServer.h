#pragma once

#include <QString>

#include <mutex>
#include <thread>

namespace tarvel::test {

// A server that accepts and never answers, as one behind a firewall that drops its replies or
// in a storage stall: a listening socket on 127.0.0.1 that takes every connection, reads what
// comes and says nothing. It counts the connections, and how many were open at once.
class SilentServer {
  public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int port() const { return port_; }
    // postgresql://station_a@127.0.0.1:PORT/line, and the options given.
    QString uri(const QString& options = {}) const;
    int connections() const;
    int mostAtOnce() const;

  private:
    void serve();

    int listener_ = -1;
    int stop_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    int connections_ = 0;
    int mostAtOnce_ = 0;
    std::thread thread_;
};

}  // namespace tarvel::test
