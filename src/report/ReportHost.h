// What the report needs from the program around it: message boxes, the remote peer and the
// clipboard. The desktop application, zep-cli and tests each implement it.
#pragma once

#include <string_view>

namespace zep {

// Message box styles and answers, with the values of the Windows message-box flags.
namespace MsgStyle {
constexpr int Ok = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
} // namespace MsgStyle

namespace MsgAnswer {
constexpr int None = 0;
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

class ReportHost {
public:
    virtual ~ReportHost() = default;

    // Shows a message box and returns the pressed button (MsgAnswer).
    virtual int MessageBox(std::string_view text, int style, std::string_view title) = 0;

    // True while a remote controller is connected; errors then go to it instead of a box.
    virtual bool RemoteConnected() const = 0;
    virtual void SendRemote(std::string_view message) = 0;

    // Empties the clipboard and puts the RTF document, or the plain text, on it.
    virtual void SetClipboardRtf(std::string_view rtf) = 0;
    virtual void SetClipboardText(std::string_view text) = 0;
};

} // namespace zep
