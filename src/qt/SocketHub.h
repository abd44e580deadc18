// SPDX-License-Identifier: MIT
// The lines' TCP connections, watched together on one epoll set. A QTcpSocket registers its
// descriptor with the event loop, which then polls every descriptor on each pass and, on each
// read, switches that socket's notifier off and on again; with thousands of lines that alone
// fills a core. Here the event loop watches one descriptor, the epoll set, and a ready connection
// costs the same however many others there are.
//
// A connection behaves for its line as a QTcpSocket did: what arrives is handed on in slices of
// at most ReadChunk bytes, one slice per connection on each pass (so a flooding peer cannot hold
// the others up); what the line sends is written when the event loop next runs, so
// that the bytes of one event leave together; the peer's hang-up or reset is reported as a close
// and any other failure as an error; and a connection the line lets go still flushes its last
// bytes, for up to CloseGraceMs.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace ostrella {

// What a connection tells the one who holds it.
class ConnectionEvents {
public:
    virtual ~ConnectionEvents() = default;
    virtual void received(std::string_view bytes) = 0;
    // The peer hung up (or reset the connection); nothing more comes.
    virtual void closedByPeer() = 0;
    // Any other failure; the connection is of no more use.
    virtual void failed() = 0;
};

class SocketHub;

// The peer of the connected descriptor `fd`, an IPv4 peer of a dual-stack listener written
// plainly ("a.b.c.d"); "" when it has none.
std::string peerAddressOf(int fd);

// One accepted TCP connection in the hub.
class HubConnection {
public:
    // Still connected, with a holder.
    bool connected() const { return holder_ != nullptr && !ended_; }
    // Queues `bytes` to be written when the event loop next runs; false when not connected.
    bool send(std::string_view bytes);
    // Lets the connection go: nothing more is reported, its last bytes are flushed (for up to
    // CloseGraceMs) and it is closed.
    void release();
    const std::string& peerIp() const { return peerIp_; }

private:
    friend class SocketHub;
    HubConnection(SocketHub& hub, std::uint64_t id, int fd, std::string peerIp,
                  ConnectionEvents* holder);

    void ready(std::uint32_t events);
    void readSome();
    void flush();
    // The peer has gone (`failure`: not by a hang-up or reset); the holder is told once.
    void ended(bool failure);
    void watchWrites(bool on);

    SocketHub& hub_;
    std::uint64_t id_;
    int fd_;
    std::string peerIp_;
    ConnectionEvents* holder_;
    std::string out_;
    std::size_t outSent_ = 0;
    bool ended_ = false;
    bool watchingWrites_ = false;
    bool dead_ = false;
};

class SocketHub : public QObject {
public:
    static constexpr std::size_t ReadChunk = 64 * 1024;
    static constexpr int CloseGraceMs = 2000;

    explicit SocketHub(QObject* parent = nullptr);
    ~SocketHub() override;

    // Takes the accepted descriptor `fd` for `holder`; nullptr (and `fd` closed) when the epoll
    // set cannot take it. The connection is the hub's: valid until its holder releases it.
    HubConnection* adopt(int fd, ConnectionEvents* holder);
    // Hands on now whatever the connections have to tell (a caller that hung up before the next
    // one came is then heard first).
    void catchUp();
    // Connections open, released ones still flushing included.
    std::size_t count() const { return connections_.size(); }

private:
    friend class HubConnection;

    static constexpr int EventsAtOnce = 256;

    // Serves up to EventsAtOnce ready connections; how many there were.
    int dispatch();
    void flushSoon(HubConnection* connection);
    void flushAll();
    // Closes the connection now; it is deleted once no event in hand can reach it.
    void destroy(HubConnection* connection);
    void reap();
    void later(void (SocketHub::*step)());

    int epoll_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::uint64_t lastId_ = 0;
    std::unordered_map<std::uint64_t, std::unique_ptr<HubConnection>> connections_;
    std::vector<HubConnection*> dirty_;
    std::vector<std::uint64_t> dead_;
    bool flushQueued_ = false;
    bool reapQueued_ = false;
    std::vector<char> buffer_;
};

} // namespace ostrella
