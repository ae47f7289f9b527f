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
    if (size == 0 || size > MaxRemoteFrame) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() < 8 + static_cast<size_t>(size)) return std::nullopt;
    // The text is what comes before the NUL, as a window message's copy is cut at cbData - 1.
    std::string text = buffer.substr(8, size - 1);
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
    std::vector<std::uint64_t> gone;
    for (auto& [handle, peer] : peers_) {
        char buffer[65536];
        while (true) {
            const ssize_t n = ::recv(peer.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                peer.in.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) gone.push_back(handle);
            break;
        }
        bool bad = false;
        while (auto frame = TakeRemoteFrame(peer.in, bad))
            if (frame->first == RemoteTextData) texts.emplace_back(handle, std::move(frame->second));
        if (bad) gone.push_back(handle);
    }
    for (const auto handle : gone)
        Drop(handle);
    for (const auto& [handle, text] : texts)
        handler(handle, text);
}

void RemoteSocketServer::Send(std::uint64_t handle, std::string_view text) {
    SendFrame(handle, RemoteFrame(RemoteTextData, text));
}

void RemoteSocketServer::SendFrame(std::uint64_t handle, const std::string& frame) {
    const auto found = peers_.find(handle);
    if (found == peers_.end()) return;
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(found->second.fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A peer that does not read for 5 s is gone: replies are sent while it waits for them.
            pollfd wait{found->second.fd, POLLOUT, 0};
            if (::poll(&wait, 1, 5000) > 0) continue;
        }
        Drop(handle);
        return;
    }
}

void RemoteSocketServer::Drop(std::uint64_t handle) {
    const auto found = peers_.find(handle);
    if (found == peers_.end()) return;
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
