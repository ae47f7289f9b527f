// The remote-control protocol: texts "COMMAND::ARGUMENT" from a controller, carried out through the
// same session operations as the user interface (group and test selection, the block buttons),
// each framed by COMMAND::STARTED and COMMAND::FINISHED replies. The transport (a local socket, or
// WM_COPYDATA on Windows) hands texts in and sends the replies to the peer.
#pragma once

#include "common/Signal.h"
#include "session/Session.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zep {

class WinMsgRec {
  public:
    // Sends one reply to the peer window (handle 0: no peer yet, the reply is lost).
    using Transport = std::function<void(std::uint64_t peer, std::string_view text)>;

    WinMsgRec(Session& session, Transport transport);

    // Installs the receiver: connected and verbose start cleared; while connected, errors and
    // (with verbose) every report text go to the peer.
    void Hook();
    void Unhook();

    void ProcessRemoteCommand(std::string_view text);
    // Where errors sent to the peer are also written (standard error in zep-cli serve).
    void SetErrorLog(std::function<void(std::string_view)> log) { errorLog_ = std::move(log); }

    bool Connected() const { return session_.Remote().Connected; }
    bool Verbose() const { return verbose_; }
    std::uint64_t Peer() const { return peer_; }
    // The group the controller (or the user) selected; its test list is the one SELTEST searches.
    size_t SelectedGroup() const { return group_; }
    void SelectGroup(size_t group) { group_ = group; }

  private:
    void SendToPeer(std::string_view text) const;
    void Execute(const std::string& caption);

    Session& session_;
    Transport transport_;
    bool verbose_ = false;
    std::uint64_t peer_ = 0;
    size_t group_ = 0;
    Subscription echo_;
    std::function<void(std::string_view)> errorLog_;
};

} // namespace zep
