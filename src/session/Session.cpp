// The program-wide state and the operations that touch more than one subsystem.
#include "session/Session.h"

#include "common/StringOp.h"

#include <cmath>

#include "instio/VisaFactory.h"

namespace zep {

namespace {
constexpr int32_t ScanTimeoutMs = 1000; // each probe's read
}

LoadOptions LoadOptionsOf(const Settings& settings) {
    LoadOptions options;
    options.DefaultNumberFormat = settings.Report.Format.NumFormatDefault;
    return options;
}

Session::Session(Host& host, Settings settings)
    : host_(host), settings_(std::move(settings)), loader_(model_, LoadOptionsOf(settings_)),
      notifier_(host), context_{report_, settings_.Report, &notifier_, 0, [this] { blockError_ = true; }},
      ieee_(host, availableInstruments_, model_, context_, blockError_),
      runner_(host, model_, availableInstruments_, context_, notifier_, ieee_, blockError_) {
    notifier_.SetRemoteSink([this](std::string_view text) {
        if (!remote_.Connected || !remote_.Send) return false;
        remote_.Send("EXECUTION::ERROR::" + std::string(text));
        return true;
    });
}

void Session::SetSettings(Settings settings) {
    settings_ = std::move(settings);
    loader_.SetOptions(LoadOptionsOf(settings_));
}

bool Session::OpenTestSet(const std::string& path) {
    return loader_.OpenTestSet(path);
}

bool Session::SelectTest(const TestEntry& entry) {
    if (entry.Heading) return false;
    if (settings_.Report.ClearOnNewCase) report_.Clear();
    const bool found = loader_.SelectTest(entry);
    ShowParserErrors(report_, loader_.Findings());
    return found;
}

TestEntry Session::EntryForKey(const std::string& key) const {
    for (size_t g = 0; g < model_.Groups.size(); ++g)
        for (const auto& entry : loader_.TestListAt(g))
            if (entry.Key == key) return entry;
    TestEntry entry;
    entry.Key = key;
    return entry;
}

bool Session::UseVisa(std::string_view choice, std::string& error) {
    auto visa = MakeVisa(choice, error);
    if (!visa) return false;
    UseVisa(std::move(visa));
    return true;
}

void Session::PrepareRun(const DeviceCache* cache) {
    IEEEOptions options;
    options.Simulation = settings_.Simulation;
    options.SimMaxTime = settings_.SimMaxTime;
    options.IEEEDisp = settings_.IEEEDisp;
    ieee_.SetOptions(options);
    ieee_.SetWrap(settings_.Simulation ? nullptr : wrap_.get());
    RunOptions run;
    run.Simulation = settings_.Simulation;
    if (cache) run.LoadInstruments = [this, cache] { LoadIEEEInstruments(*cache); };
    runner_.SetOptions(std::move(run));
    runner_.InvalidateInstruments();
}

void Session::ExecuteBlock(int blockIndex, bool shift) {
    if (!blocksEnabled_ || blockIndex < 0 || static_cast<size_t>(blockIndex) >= model_.Blocks.size()) return;
    if (settings_.CheckForChanges && TestCaseFilesChanged(model_) &&
        host_.MessageBox("Testcase file was changed. Reload?", MsgStyle::YesNo | MsgStyle::Question,
                         "RELOAD?") == MsgAnswer::Yes) {
        TestEntry entry = EntryForKey(model_.SelectedTestKey);
        entry.Text = model_.SelectedTestText;
        loader_.SelectTest(entry);
        ShowParserErrors(report_, loader_.Findings());
        if (static_cast<size_t>(blockIndex) >= model_.Blocks.size()) return;
    }
    blocksEnabled_ = false;
    host_.View().Indicator("blocks", false);
    host_.ProcessEvents();
    BlockDef& block = model_.Blocks[static_cast<size_t>(blockIndex)];
    if (shift) {
        const std::string answer =
            host_.InputBox("Number of loops to run: ", "Loops to run", std::to_string(block.LoopCount))
                .value_or("");
        // The answer's numeric value as a 16-bit integer; what does not fit counts as no loop.
        const double loops = LeadingNumber(answer);
        block.LoopCount = loops >= 0 && loops <= 32767 ? static_cast<int16_t>(std::nearbyint(loops)) : 0;
    } else {
        block.LoopCount = 1;
    }
    blockError_ = false;
    runner_.Go(blockIndex);
    blocksEnabled_ = true;
    host_.View().Indicator("blocks", true);
    host_.ProcessEvents();
}

void Session::RunAllBlocks() {
    for (size_t b = 0; b < model_.Blocks.size(); ++b)
        if (model_.Blocks[b].Caption != "---" && blocksEnabled_) ExecuteBlock(static_cast<int>(b), false);
}

bool Session::LoadIEEEInstruments(const DeviceCache& cache) {
    if (!visa_) return false;
    VISAScan scan(*visa_, host_, devices_);
    {
        const ScanWindowLines lines(scan, host_.View());
        scan.Scan(cache, settings_.DeviceRegEntry, ScanTimeoutMs);
    }
    host_.ProcessEvents();
    availableInstruments_ = InstrumentsFromDeviceTable(devices_);
    return true;
}

void Session::UseVisa(std::unique_ptr<Visa> visa) {
    wrap_.reset();
    visa_ = std::move(visa);
    if (visa_) wrap_ = std::make_unique<VISAWrap>(*visa_);
}

} // namespace zep
