// The program-wide state of one executor: settings, test model, report, the VISA implementation
// with its access layer, the instruments found, the block-error flag and the remote state, over the
// host that shows it all. The command line, the desktop application and the remote receiver each
// hold one.
#pragma once

#include "discovery/DeviceCache.h"
#include "discovery/VISAScan.h"
#include "host/Host.h"
#include "ieee/IEEE.h"
#include "instio/AvailableInstrument.h"
#include "instio/VISAWrap.h"
#include "instio/Visa.h"
#include "report/ReportDocument.h"
#include "report/ReportLines.h"
#include "sequencer/BlockRun.h"
#include "settings/Settings.h"
#include "testdef/TestLoad.h"
#include "testdef/TestModel.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// What the remote-control receiver knows of its peer.
struct RemoteState {
    bool Connected = false; // a controller named itself with MSGTARGET
    std::string Target;     // its handle
    // Sends one protocol message to the controller; set by the remote receiver.
    std::function<void(std::string_view message)> Send;
};

class Session {
  public:
    explicit Session(Host& host, Settings settings = Settings{});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Settings& GetSettings() const { return settings_; }
    // Replaces the settings; what the loader takes from them follows.
    void SetSettings(Settings settings);

    Host& GetHost() { return host_; }

    TestModel& Model() { return model_; }
    const TestModel& Model() const { return model_; }
    ReportDocument& Report() { return report_; }
    const ReportDocument& Report() const { return report_; }
    TestLoad& Loader() { return loader_; }
    const TestLoad& Loader() const { return loader_; }

    // Opens a test-set file; false when it cannot be read.
    bool OpenTestSet(const std::string& path);

    // Selects a test-list entry as a click in the test list does: clears the report when
    // ClearOnNewCase is on, loads the test case and writes what the loader found as "Parser error"
    // entries. Headings do nothing. True when the test case was found.
    bool SelectTest(const TestEntry& entry);

    // The entry of KEY in the first group that lists it; a key listed nowhere is taken as a
    // runnable test of that name.
    TestEntry EntryForKey(const std::string& key) const;

    // The VISA implementation (see MakeVisa for the choice) and the access layer over it. False with
    // error set when the choice cannot be made; the previous implementation then stays.
    bool UseVisa(std::string_view choice, std::string& error);
    void UseVisa(std::unique_ptr<Visa> visa);
    Visa* VisaLibrary() { return visa_.get(); }
    VISAWrap* Wrap() { return wrap_.get(); }

    std::vector<AvailableInstrument>& AvailableInstruments() { return availableInstruments_; }

    // The device table of the last scan.
    const DeviceTable& Devices() const { return devices_; }

    // Scans the servers and patterns of the cache at the DeviceRegEntry path (1000 ms per read),
    // showing the scan's lines through the host's scan view, and rebuilds AvailableInstruments from
    // the device table. False, and nothing changes, when no VISA implementation is chosen.
    bool LoadIEEEInstruments(const DeviceCache& cache);

    // Set by error entries while StopOnBlockError is on, and by the stop button; ends a block run.
    bool& BlockError() { return blockError_; }

    RemoteState& Remote() { return remote_; }

    // Errors for the user: message boxes, or "EXECUTION::ERROR::" messages to the controller while
    // one is connected.
    ErrorNotifier& Notifier() { return notifier_; }

    // What the report writers need, with the block-error flag of this session.
    ReportContext& Context() { return context_; }

    // The command layer and the block run over this session's state. PrepareRun hands them the
    // settings (simulation, its time, the command list display) and the VISA access layer; the
    // cache, when given, is what a run scans.
    IEEE& Ieee() { return ieee_; }
    BlockRun& Runner() { return runner_; }
    void PrepareRun(const DeviceCache* cache);

    // The block buttons: a block's run as its button does it (the reload question when the test
    // case changed on disk and CheckForChanges is on; with shift the loop count from an input
    // box, else one loop; the block-error flag cleared), every enabled block in order, and stop.
    void ExecuteBlock(int blockIndex, bool shift);
    void RunAllBlocks();
    void Stop() { blockError_ = true; }
    // False while a block runs: the buttons cannot start a second one.
    bool BlocksEnabled() const { return blocksEnabled_; }

  private:
    Host& host_;
    Settings settings_;
    TestModel model_;
    ReportDocument report_;
    TestLoad loader_;
    std::unique_ptr<Visa> visa_;
    std::unique_ptr<VISAWrap> wrap_;
    std::vector<AvailableInstrument> availableInstruments_;
    DeviceTable devices_;
    bool blockError_ = false;
    bool blocksEnabled_ = true;
    RemoteState remote_;
    ErrorNotifier notifier_;
    ReportContext context_;
    IEEE ieee_;
    BlockRun runner_;
};

// What the loader takes from the settings.
LoadOptions LoadOptionsOf(const Settings& settings);

} // namespace zep
