#include "bench/DelayRelay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Bytes read from one side, due on the other at `due`.
struct Chunk
{
    Clock::time_point due;
    std::vector<char> bytes;
    size_t sent = 0;
};

// One direction of a relayed connection.
struct Direction
{
    int from = -1;
    int to = -1;
    std::deque<Chunk> queue;
    bool ended = false; // `from` reached its end
    bool closed = false; // and `to` was told so
};

struct Pair
{
    Direction up; // client to server
    Direction down; // server to client
    ~Pair()
    {
        close(up.from);
        close(up.to);
    }
};

} // namespace

DelayRelay::DelayRelay(const QString& host, int port, std::chrono::microseconds oneWay)
    : m_host(host)
    , m_targetPort(port)
    , m_delay(oneWay)
{
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(m_listener, 64) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || pipe(m_wake) != 0)
        throw std::runtime_error("delay relay: cannot listen on loopback");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { loop(); });
}

DelayRelay::~DelayRelay()
{
    m_stop = true;
    const char byte = 0;
    if (write(m_wake[1], &byte, 1) < 0) {
        // The loop also ends at its next wake-up.
    }
    m_thread.join();
    close(m_listener);
    close(m_wake[0]);
    close(m_wake[1]);
}

void DelayRelay::loop()
{
    std::vector<std::unique_ptr<Pair>> pairs;
    std::vector<char> buffer(64 * 1024);
    while (!m_stop) {
        std::vector<pollfd> fds = { { m_listener, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        Clock::time_point next = Clock::time_point::max();
        for (const auto& pair : pairs) {
            for (Direction* d : { &pair->up, &pair->down }) {
                short events = d->ended ? 0 : POLLIN;
                if (!d->queue.empty()) {
                    if (d->queue.front().due <= Clock::now())
                        events |= POLLOUT;
                    else
                        next = std::min(next, d->queue.front().due);
                }
                fds.push_back({ d->from, POLLIN, 0 }); // placeholder replaced below
                fds.back().events = events & POLLIN;
                fds.push_back({ d->to, static_cast<short>(events & POLLOUT), 0 });
            }
        }
        timespec timeout {};
        timespec* wait = nullptr;
        if (next != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), next - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = ns / 1000000000;
            timeout.tv_nsec = ns % 1000000000;
            wait = &timeout;
        }
        if (ppoll(fds.data(), fds.size(), wait, nullptr) < 0 && errno != EINTR)
            break;
        if (m_stop)
            break;

        if (fds[0].revents & POLLIN) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client >= 0) {
                const int server = socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in target {};
                target.sin_family = AF_INET;
                target.sin_port = htons(static_cast<uint16_t>(m_targetPort));
                inet_pton(AF_INET, m_host.toLatin1().constData(), &target.sin_addr);
                if (server >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
                    setNonBlocking(client);
                    setNonBlocking(server);
                    auto pair = std::make_unique<Pair>();
                    pair->up.from = pair->down.to = client;
                    pair->up.to = pair->down.from = server;
                    pairs.push_back(std::move(pair));
                } else {
                    close(client);
                    if (server >= 0)
                        close(server);
                }
            }
        }

        const Clock::time_point now = Clock::now();
        for (const auto& pair : pairs) {
            for (Direction* d : { &pair->up, &pair->down }) {
                // Everything that has arrived is read at once and stamped.
                while (!d->ended) {
                    const ssize_t n = read(d->from, buffer.data(), buffer.size());
                    if (n > 0) {
                        d->queue.push_back({ now + m_delay, std::vector<char>(buffer.begin(), buffer.begin() + n) });
                    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                        d->ended = true;
                    } else {
                        break;
                    }
                }
                // What is due goes out, as far as the other side takes it.
                while (!d->queue.empty() && d->queue.front().due <= now) {
                    Chunk& c = d->queue.front();
                    const ssize_t n = write(d->to, c.bytes.data() + c.sent, c.bytes.size() - c.sent);
                    if (n < 0) {
                        if (errno == EAGAIN || errno == EINTR)
                            break;
                        d->queue.clear();
                        d->ended = true;
                        break;
                    }
                    c.sent += static_cast<size_t>(n);
                    if (c.sent < c.bytes.size())
                        break;
                    d->queue.pop_front();
                }
                if (d->ended && d->queue.empty() && !d->closed) {
                    shutdown(d->to, SHUT_WR);
                    d->closed = true;
                }
            }
        }
        std::erase_if(pairs, [](const std::unique_ptr<Pair>& p) { return p->up.closed && p->down.closed; });
    }
}
