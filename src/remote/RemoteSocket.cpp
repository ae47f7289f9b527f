// The remote-control local socket.
#include "remote/RemoteSocket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zep {

namespace {

void PutU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return value;
}

} // namespace

std::string RemoteFrame(std::uint32_t data, std::string_view text) {
    std::string frame;
    frame.reserve(text.size() + 9);
    PutU32(frame, data);
    PutU32(frame, static_cast<std::uint32_t>(text.size() + 1));
    frame.append(text);
    frame += '\0';
    return frame;
}

std::optional<std::pair<std::uint32_t, std::string>> TakeRemoteFrame(std::string& buffer, bool& bad) {
    bad = false;
    if (buffer.size() < 8) return std::nullopt;
    const std::uint32_t data = GetU32(buffer);
    const std::uint32_t size = GetU32(std::string_view(buffer).substr(4));
    if (size > MaxRemoteFrame) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() < 8 + static_cast<size_t>(size)) return std::nullopt;
    // Only a NUL that is there is dropped: no last character lost, no negative length.
    size_t length = size;
    if (length > 0 && buffer[8 + length - 1] == '\0') --length;
    std::string text = buffer.substr(8, length);
    buffer.erase(0, 8 + static_cast<size_t>(size));
    return std::make_pair(data, std::move(text));
}

std::string ResolveRemoteSocketPath(const std::optional<std::string>& option) {
    if (option && !option->empty()) return *option;
    if (const char* path = std::getenv("ZEP_REMOTE_SOCKET"); path && *path) return path;
#ifndef _WIN32
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        return std::string(runtime) + "/zep-remote.sock";
    return "/tmp/zep-remote-" + std::to_string(::getuid()) + ".sock";
#else
    return {};
#endif
}

#ifndef _WIN32

RemoteSocketServer::~RemoteSocketServer() {
    Close();
}

bool RemoteSocketServer::Listen(const std::string& path, std::string& error) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "remote socket path \"" + path + "\" is empty or too long";
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            error = "remote socket path \"" + path + "\" is taken by something that is not a socket";
            return false;
        }
        // A live executor answers a connect; a file left by one that died does not.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool live = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        if (live) {
            error = "an executor is already listening on \"" + path + "\"";
            return false;
        }
        ::unlink(path.c_str());
    }
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const mode_t previous = ::umask(0077); // user-only from the start
    const bool bound = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::listen(listener_, 16) != 0) {
        error = "cannot listen on \"" + path + "\": " + std::strerror(errno);
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    ::chmod(path.c_str(), 0600);
    ::fcntl(listener_, F_SETFL, O_NONBLOCK);
    path_ = path;
    return true;
}

void RemoteSocketServer::Poll(const TextHandler& handler) {
    if (listener_ < 0) return;
    while (true) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        const std::uint64_t handle = nextHandle_++;
        peers_[handle].fd = fd;
        SendFrame(handle, RemoteFrame(RemoteHandleData, std::to_string(handle)));
    }
    // Read first, then hand the texts on: a handler may poll again (a block run processes events).
    std::vector<std::pair<std::uint64_t, std::string>> texts;
    std::vector<std::pair<std::uint64_t, std::string>> gone;
    for (auto& [handle, peer] : peers_) {
        if (!Flush(peer)) {
            gone.emplace_back(handle, "the connection failed");
            continue;
        }
        char buffer[65536];
        while (true) {
            const ssize_t n = ::recv(peer.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                peer.in.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0)
                gone.emplace_back(handle, ""); // the peer closed: nothing to tell
            else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                gone.emplace_back(handle, "the connection failed");
            break;
        }
        bool bad = false;
        while (auto frame = TakeRemoteFrame(peer.in, bad))
            if (frame->first == RemoteTextData) texts.emplace_back(handle, std::move(frame->second));
        if (bad)
            gone.emplace_back(handle, "a frame longer than " + std::to_string(MaxRemoteFrame) + " bytes");
    }
    for (const auto& [handle, why] : gone)
        Drop(handle, why);
    for (const auto& [handle, text] : texts)
        handler(handle, text);
    FlushAll();
}

void RemoteSocketServer::FlushAll() {
    std::vector<std::uint64_t> failed;
    for (auto& [handle, peer] : peers_)
        if (!Flush(peer) || peer.out.size() > MaxRemotePending) failed.push_back(handle);
    for (const auto handle : failed)
        Drop(handle, "it does not take its replies");
}

void RemoteSocketServer::Wait(int timeoutMs) const {
    std::vector<pollfd> fds;
    if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
    for (const auto& [handle, peer] : peers_)
        fds.push_back({peer.fd, static_cast<short>(POLLIN | (peer.out.empty() ? 0 : POLLOUT)), 0});
    if (!fds.empty()) ::poll(fds.data(), fds.size(), timeoutMs);
}

void RemoteSocketServer::Send(std::uint64_t handle, std::string_view text) {
    SendFrame(handle, RemoteFrame(RemoteTextData, text));
}

void RemoteSocketServer::SendFrame(std::uint64_t handle, const std::string& frame) {
    const auto found = peers_.find(handle);
    if (found == peers_.end()) return;
    found->second.out += frame;
    // Replies go out together at the end of the poll that handled the command (one wake-up of
    // the peer per command, not per reply); a large backlog goes at once.
    if (found->second.out.size() < 65536) return;
    if (!Flush(found->second))
        Drop(handle, "the connection failed");
    else if (found->second.out.size() > MaxRemotePending)
        Drop(handle, "it does not read its replies");
}

bool RemoteSocketServer::Flush(Peer& peer) {
    while (!peer.out.empty()) {
        const ssize_t n = ::send(peer.fd, peer.out.data(), peer.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            peer.out.erase(0, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    return true;
}

void RemoteSocketServer::Drop(std::uint64_t handle, const std::string& why) {
    const auto found = peers_.find(handle);
    if (found == peers_.end()) return;
    if (log_ && !why.empty()) log_("remote peer " + std::to_string(handle) + " dropped: " + why);
    ::close(found->second.fd);
    peers_.erase(found);
}

void RemoteSocketServer::Close() {
    for (auto& [handle, peer] : peers_)
        ::close(peer.fd);
    peers_.clear();
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
        ::unlink(path_.c_str());
    }
}

#endif

} // namespace zep
