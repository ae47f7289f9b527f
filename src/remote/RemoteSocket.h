// The remote-control transport outside Windows: a local stream socket whose frames mirror the
// window message's COPYDATASTRUCT: 4-byte little-endian dwData, 4-byte little-endian cbData, then
// cbData bytes (the text and one NUL). Every connection is a peer "window" with its own handle,
// told to it in a first frame with dwData 0.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

inline constexpr std::uint32_t RemoteTextData = 3;   // dwData of protocol texts
inline constexpr std::uint32_t RemoteHandleData = 0; // dwData of the greeting with the handle
// Frames beyond this are no protocol text: the connection is dropped.
inline constexpr std::uint32_t MaxRemoteFrame = 4U * 1024U * 1024U;
// A peer that leaves this much of its replies unread is dropped.
inline constexpr size_t MaxRemotePending = 64U * 1024U * 1024U;

std::string RemoteFrame(std::uint32_t data, std::string_view text);
// Takes one complete frame off the front of buffer; nothing while it is incomplete. bad is set
// for a frame longer than MaxRemoteFrame. The text is the frame's bytes without a final NUL when
// there is one (cbData 0 is an empty text).
std::optional<std::pair<std::uint32_t, std::string>> TakeRemoteFrame(std::string& buffer, bool& bad);

// The socket path: the option, else ZEP_REMOTE_SOCKET, else a per-user path.
std::string ResolveRemoteSocketPath(const std::optional<std::string>& option);

class RemoteSocketServer {
  public:
    using TextHandler = std::function<void(std::uint64_t peer, const std::string& text)>;

    RemoteSocketServer() = default;
    ~RemoteSocketServer();
    RemoteSocketServer(const RemoteSocketServer&) = delete;
    RemoteSocketServer& operator=(const RemoteSocketServer&) = delete;

    // Listens on path with user-only permissions. A socket file that no executor answers on is
    // replaced; a live one is an error naming the path. False with error set.
    bool Listen(const std::string& path, std::string& error);
    // Accepts connections and reads what arrived, without waiting; calls handler for every text
    // frame (dwData 3), also from inside a handler (a command may arrive while a block runs).
    void Poll(const TextHandler& handler);
    // Queues one text for a peer; queued replies go out at the end of every poll (and whatever
    // the peer does not take yet at later ones). A peer that is gone is forgotten.
    void Send(std::uint64_t peer, std::string_view text);
    // Where dropped connections are told (standard error in zep-cli serve).
    void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }
    size_t Peers() const { return peers_.size(); }
    // Waits up to timeoutMs until a connection, a frame or room for pending replies arrives (or a
    // signal), so an idle executor answers at once without polling on a timer.
    void Wait(int timeoutMs) const;
    void Close();

  private:
    struct Peer {
        int fd = -1;
        std::string in;
        std::string out;
    };
    void Drop(std::uint64_t handle, const std::string& why);
    void SendFrame(std::uint64_t handle, const std::string& frame);
    bool Flush(Peer& peer);
    void FlushAll();
    std::function<void(const std::string&)> log_;

    int listener_ = -1;
    std::string path_;
    std::map<std::uint64_t, Peer> peers_;
    std::uint64_t nextHandle_ = 1;
};

} // namespace zep
