// The access layer the command layer and the sequencer talk to instruments through: text writes and
// reads, status byte, clear, time-out codes, the last transfer's status and count, and the VISA call
// log written in debug mode.
#pragma once

#include "instio/Visa.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace zep {

class VISAWrap {
  public:
    explicit VISAWrap(Visa& visa) : visa_(visa) {}

    // The log is active only when the program runs in debug mode and the VISALog setting is on; both
    // and the VISALogFile path are taken once at start-up.
    void ConfigureLog(bool debugMode, bool visaLog, std::filesystem::path logFile);
    bool LogActive() const { return logActive_; }

    // A fresh resource manager (never closed), the resource opened with access mode 0 and open
    // time-out 0, then its I/O time-out set. Failures show only in the log and in session (VI_NULL).
    void OpenSession(std::string_view resource, ViSession& session, ViUInt32 timeoutMs);
    // Appends a line feed when the text does not end with one and writes it as single-byte text.
    ViStatus WriteText(ViSession session, std::string_view text);
    // Reads at most buffer.size() bytes into the buffer; bytes after the count read keep their value.
    ViStatus ReadText(ViSession session, std::string& buffer);
    ViStatus QueryText(ViSession session, std::string_view command, std::string& buffer);
    // An IEEE 488.2 definite-length block ("#", digit count, length, data); returns the data.
    std::string ReadDefiniteBlock(ViSession session);
    ViStatus ReadStatusByte(ViSession session, ViUInt16& statusByte);
    ViStatus ClearDevice(ViSession session);
    ViStatus SendInterfaceClear(ViSession session);
    // "*GTL", then remote enable released with go-to-local.
    void GoToLocal(ViSession session);
    // Sets VI_ATTR_TMO_VALUE from a time-out code (see TimeoutCodeMilliseconds). Not logged.
    ViStatus SetTimeoutCode(ViSession session, int code);
    // 0: no limit; 1 to 17: the code table; above 17: that many milliseconds; negative: immediate.
    static ViUInt32 TimeoutCodeMilliseconds(int code);

    // Operations of the older board-oriented bus interface that VISA lacks: a log line, nothing else.
    void IbConfig(int board, int option, int value);
    void IbSre(int board, int value);
    void IbOnl(int board, int value);

    // Around a block run, once per instrument taking part.
    void BeforeBlock(bool simulation, bool toggleSRE);
    void AfterBlock(bool simulation, bool toggleSRE);

    // Appends one line (and CR LF) to the log file when the log is active; the file is opened and
    // closed for every line.
    void LogVisaCall(std::string_view line);
    // Removes carriage returns and line feeds from the end.
    static std::string StripLineEnds(std::string_view text);

    // Status and byte count of the last WriteText, ReadText or block read.
    ViStatus LastStatus() const { return lastStatus_; }
    ViUInt32 LastCount() const { return lastCount_; }

  private:
    Visa& visa_;
    bool logActive_ = false;
    std::filesystem::path logFile_;
    ViStatus lastStatus_ = VI_SUCCESS;
    ViUInt32 lastCount_ = 0;
};

// UTF-8 text as the single-byte Windows-1252 bytes VISA carries; characters it lacks become "?",
// and text that is not valid UTF-8 is taken as single-byte already.
std::string ToInstrumentBytes(std::string_view text);

} // namespace zep
