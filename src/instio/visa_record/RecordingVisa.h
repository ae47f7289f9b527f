// A scripted VISA for tests: instruments answer from queues or a responder, and every call is
// recorded as one line of text so tests can compare exact call sequences.
#pragma once

#include "instio/Visa.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zep {

class RecordingVisa final : public Visa {
  public:
    struct Instrument {
        // Status viOpen returns for this resource; a negative one opens no session.
        ViStatus openStatus = VI_SUCCESS;
        // Status of every write (VI_ERROR_NLISTENERS for an empty GPIB address, for example).
        ViStatus writeStatus = VI_SUCCESS;
        // Called with the bytes of each successful write; what it returns is queued for reading.
        std::function<std::string(std::string_view written)> responder;
        // Bytes waiting to be read, one message per element (a read ends with END at its end).
        std::deque<std::string> reads;
        // Status of a read when nothing is queued.
        ViStatus readStatusWhenEmpty = VI_ERROR_TMO;
        // Successive viReadSTB answers; the last one repeats, none gives 0.
        std::deque<ViUInt16> statusBytes;
        ViStatus clearStatus = VI_SUCCESS;
        // Every byte written, for tests that check content rather than the call order.
        std::string written;
        ViUInt32 timeoutMs = 2000;
    };

    std::string Description() const override { return "recording test double"; }

    // Makes a resource openable (exactly this string); the reference stays valid.
    Instrument& AddInstrument(const std::string& resource);
    Instrument* InstrumentOf(const std::string& resource);
    // viFindRsrc for this exact expression lists these resources; other expressions find nothing.
    void SetFindResult(const std::string& expression, std::vector<std::string> matches);

    // One line per call, for example viWrite(2,"*IDN?\n",6) -> 0.
    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }

    ViStatus viOpenDefaultRM(ViSession& resourceManager) override;
    ViStatus viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                    ViUInt32 openTimeout, ViSession& session) override;
    ViStatus viClose(ViSession sessionOrFindList) override;
    ViStatus viSetAttribute(ViSession session, ViAttr attribute, ViAttrState value) override;
    ViStatus viGetAttribute(ViSession session, ViAttr attribute, ViAttrState& value) override;
    ViStatus viWrite(ViSession session, const void* data, ViUInt32 count, ViUInt32& written) override;
    ViStatus viRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) override;
    ViStatus viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) override;
    ViStatus viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                          ViUInt32& read) override;
    ViStatus viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                             ViUInt32& written) override;
    ViStatus viReadSTB(ViSession session, ViUInt16& statusByte) override;
    ViStatus viClear(ViSession session) override;
    ViStatus viGpibSendIFC(ViSession session) override;
    ViStatus viGpibControlREN(ViSession session, ViUInt16 mode) override;
    ViStatus viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                        ViUInt32& matchCount, std::string& firstDescriptor) override;
    ViStatus viFindNext(ViFindList findList, std::string& descriptor) override;
    ViStatus viParseRsrc(ViSession resourceManager, std::string_view resource, ViUInt16& interfaceType,
                         ViUInt16& interfaceNumber) override;

    // The text form used in the call lines: quotes, with CR, LF, tab, backslash and other control
    // bytes escaped.
    static std::string Quote(std::string_view bytes);

  private:
    struct FindList {
        std::vector<std::string> matches;
        std::size_t next = 1;
    };
    Instrument* SessionInstrument(ViSession session);
    ViStatus Record(std::string line, ViStatus status);

    std::map<std::string, std::unique_ptr<Instrument>> instruments_;
    std::map<ViSession, Instrument*> sessions_;
    std::map<ViSession, bool> resourceManagers_;
    std::map<ViFindList, FindList> findLists_;
    std::map<std::string, std::vector<std::string>> findResults_;
    std::vector<std::string> calls_;
    ViSession nextSession_ = 1;
};

} // namespace zep
