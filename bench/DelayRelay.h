#pragma once
// A TCP relay on loopback that holds every byte for a fixed time in each
// direction before passing it on: a server that many milliseconds away, for
// benchmarks. Bytes flow as they come (a delay, not a throttle); every
// connection made to port() is relayed to the target on a connection of its own.
#include <QString>
#include <atomic>
#include <chrono>
#include <thread>

class DelayRelay
{
public:
    // Relays to `host`:`port` (an IPv4 address), delaying each direction by `oneWay`.
    DelayRelay(const QString& host, int port, std::chrono::microseconds oneWay = std::chrono::microseconds(2500));
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    // The loopback port to connect to instead of the target.
    int port() const { return m_port; }

private:
    void loop();

    QString m_host;
    int m_targetPort;
    std::chrono::microseconds m_delay;
    int m_listener = -1;
    int m_wake[2] = { -1, -1 };
    int m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};
