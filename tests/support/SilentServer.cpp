#include "tests/support/SilentServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace tarvel::test {

SilentServer::SilentServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::pipe(stop_) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

SilentServer::~SilentServer() {
    if (thread_.joinable()) {
        const char stop = 0;
        if (::write(stop_[1], &stop, 1) == 1)
            thread_.join();
        else
            thread_.detach();
    }
    for (int fd : {listener_, stop_[0], stop_[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString SilentServer::uri(const QString& options) const {
    return QStringLiteral("postgresql://station_a@127.0.0.1:%1/line").arg(port_) +
           (options.isEmpty() ? QString() : QStringLiteral("?") + options);
}

int SilentServer::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

int SilentServer::mostAtOnce() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mostAtOnce_;
}

void SilentServer::serve() {
    std::vector<pollfd> watched{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (;;) {
        if (::poll(watched.data(), watched.size(), -1) < 0)
            continue;
        if (watched[0].revents)
            break;
        if (watched[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                watched.push_back({client, POLLIN, 0});
                std::lock_guard<std::mutex> lock(mutex_);
                ++connections_;
                mostAtOnce_ = std::max(mostAtOnce_, int(watched.size()) - 2);
            }
        }
        // What a client sends is read and left unanswered; one that closes is gone.
        for (std::size_t i = 2; i < watched.size();) {
            char bytes[512];
            if (watched[i].revents && ::read(watched[i].fd, bytes, sizeof bytes) <= 0) {
                ::close(watched[i].fd);
                watched.erase(watched.begin() + std::ptrdiff_t(i));
            } else {
                ++i;
            }
        }
        for (pollfd& each : watched)
            each.revents = 0;
    }
    for (std::size_t i = 2; i < watched.size(); ++i)
        ::close(watched[i].fd);
}

}  // namespace tarvel::test
