// Running one block of the loaded test case.
#include "sequencer/BlockRun.h"

#include "common/StringOp.h"
#include "common/TextFile.h"
#include "report/ValueFormat.h"
#include "sequencer/VariableSubstitution.h"
#include "testdef/ResultKinds.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#ifndef _WIN32
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace zep {

namespace {

using namespace std::chrono_literals;

bool IsKindLine(const CommandLine& line) {
    return line.InstrumentIndex < 0 && line.InstrumentIndex >= -CommandKindCount;
}

void FinishKindLine(CommandLine& line) {
    line.ErrorText = "(OK)";
    line.Status = 2;
}

// Splits "name = equation" at the first "=".
bool SplitAssignment(std::string_view text, std::string& left, std::string& right) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return false;
    left = TrimBlanks(text.substr(0, equals));
    right = TrimBlanks(text.substr(equals + 1));
    return true;
}

std::string FormattedValue(const CommandLine& line, const FormatOptions& format) {
    const ResultSpec& result = line.Result;
    if (result.Kind == ResultKind::String)
        return AntFormat(result.Value, result.Kind, result.Argument, !result.NoScaling, format,
                         result.Format);
    return AntFormatCompact(result.Value, result.Kind, result.Argument, !result.NoScaling, format,
                            result.Format);
}

} // namespace

BlockStatusField BlockStatus(const BlockDef& block) {
    if (block.ErrorFlag) return {"ERR", 255, true};
    switch (block.RunState) {
    case 1:
        return {"RUN", 0x80FFFF, false};
    case 2:
        return {"OK", 0x80FF80, false};
    case 3:
        return {"STOP", 255, false};
    default:
        return {"---", 0xC0C0C0, false};
    }
}

namespace {

// One pattern element against one character: "?" any, "#" a digit, "[...]" / "[!...]" a set with
// ranges, anything else itself. length receives the element's length in the pattern.
bool ElementMatches(std::string_view pattern, size_t at, char c, size_t& length) {
    const char p = pattern[at];
    length = 1;
    if (p == '?') return true;
    if (p == '#') return c >= '0' && c <= '9';
    if (p == '[') {
        const size_t close = pattern.find(']', at + 1);
        if (close != std::string_view::npos) {
            length = close - at + 1;
            std::string_view set = pattern.substr(at + 1, close - at - 1);
            const bool negate = !set.empty() && set.front() == '!';
            if (negate) set.remove_prefix(1);
            bool found = false;
            for (size_t i = 0; i < set.size(); ++i) {
                if (i + 2 < set.size() && set[i + 1] == '-') {
                    found = found || (c >= set[i] && c <= set[i + 2]);
                    i += 2;
                } else {
                    found = found || c == set[i];
                }
            }
            return found != negate;
        }
    }
    return c == p;
}

} // namespace

// Greedy matching with one remembered "*": each "*" only moves the resume point forward, so the
// work stays within text length x pattern length however many stars the pattern has.
bool LikeMatch(std::string_view text, std::string_view pattern) {
    size_t t = 0, p = 0;
    size_t starPattern = std::string_view::npos, starText = 0;
    while (t < text.size()) {
        size_t length = 1;
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starText = t;
        } else if (p < pattern.size() && ElementMatches(pattern, p, text[t], length)) {
            p += length;
            ++t;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

BlockRun::BlockRun(Host& host, TestModel& model, std::vector<AvailableInstrument>& instruments,
                   ReportContext& context, ErrorNotifier& notifier, IEEE& ieee, bool& blockError)
    : host_(host), model_(model), instruments_(instruments), context_(context), notifier_(notifier),
      ieee_(ieee), blockError_(blockError) {}

void BlockRun::PrepareInstruments() {
    if (!options_.Simulation) {
        if (options_.LoadInstruments) options_.LoadInstruments();
        instrumentsLoaded_ = true;
        return;
    }
    // One entry per need, the need's own type and options, so that the check matches each.
    instruments_.assign(model_.Instruments.size(), AvailableInstrument{});
    for (size_t i = 0; i < model_.Instruments.size(); ++i) {
        const InstrumentNeed& need = model_.Instruments[i];
        AvailableInstrument& entry = instruments_[i];
        entry.Identification = need.Type;
        for (size_t k = 0; k < need.Options.size(); ++k)
            entry.Options += (k ? "," : "") + need.Options[k];
        entry.Resource = std::to_string(i + 1);
        entry.Session = 0;
        entry.Opened = true;
    }
    instrumentsLoaded_ = false;
}

bool BlockRun::CheckOnce(bool& anyCounted) {
    bool ok = true;
    anyCounted = false;
    for (auto& entry : instruments_) {
        entry.Busy = false;
        entry.FreeForAssignment = true;
    }
    for (size_t n = 0; n < model_.Instruments.size(); ++n) {
        InstrumentNeed& need = model_.Instruments[n];
        if (!need.Used) continue;
        anyCounted = true;
        need.CheckState = 0;
        need.DeviceIndex = -1;
        need.AvailableIndex = -1;
        for (size_t d = 0; d < instruments_.size(); ++d) {
            AvailableInstrument& entry = instruments_[d];
            if (!entry.FreeForAssignment || !LikeMatch(entry.Identification, "*" + need.Type + "*")) continue;
            need.CheckState = 2;
            need.DeviceIndex = static_cast<int16_t>(d);
            need.AvailableIndex = static_cast<int16_t>(d);
            entry.FreeForAssignment = false;
            entry.NeedIndex = static_cast<int16_t>(n); // completions find this need's line
            break;
        }
        if (need.CheckState == 0) {
            notifier_.ReportError(need.Name + " (" + need.Type + ") was not found!", false);
            ok = false;
            continue;
        }
        std::string missing;
        for (const auto& option : need.Options) {
            if (LikeMatch(instruments_[static_cast<size_t>(need.DeviceIndex)].Options, "*" + option + "*"))
                continue;
            need.CheckState = 1;
            missing += missing.empty() ? option : "," + option;
        }
        if (need.CheckState == 1) {
            notifier_.ReportError("Option " + missing + " missing for " + need.Name + " (" + need.Type + ")!",
                                  false);
            ok = false;
        }
    }
    return ok;
}

bool BlockRun::CheckInstruments() {
    bool anyCounted = false;
    bool ok = CheckOnce(anyCounted);
    if (!ok) {
        notifier_.DiscardPending();
        PrepareInstruments();
        ok = CheckOnce(anyCounted);
    }
    if (!anyCounted && model_.Instruments.size() > 1) {
        notifier_.ReportError("No instrument selected for operation!", true);
        return false;
    }
    if (!ok) {
        notifier_.ReportError("Missing instruments, sequence is not executed!", true);
        return false;
    }
    return true;
}

const AvailableInstrument* BlockRun::DeviceOf(const CommandLine& line) const {
    if (line.InstrumentIndex < 0 || static_cast<size_t>(line.InstrumentIndex) >= model_.Instruments.size())
        return nullptr;
    const int16_t device = model_.Instruments[static_cast<size_t>(line.InstrumentIndex)].DeviceIndex;
    return device >= 0 && static_cast<size_t>(device) < instruments_.size()
               ? &instruments_[static_cast<size_t>(device)]
               : nullptr;
}

void BlockRun::Go(int blockIndex) {
    if (model_.Commands.empty()) {
        notifier_.ReportError("No IEEE bus sequence loaded!", true);
        return;
    }
    if (blockIndex < 0 || static_cast<size_t>(blockIndex) >= model_.Blocks.size()) return;
    if (!instrumentsLoaded_) PrepareInstruments();
    BlockDef& block = model_.Blocks[static_cast<size_t>(blockIndex)];
    block.RunState = 1;
    block.ErrorFlag = false;
    host_.View().BlockStatus(blockIndex, BlockStatus(block).Text);
    if (!CheckInstruments()) {
        block.RunState = 0;
        host_.View().BlockStatus(blockIndex, BlockStatus(block).Text);
        return;
    }
    if (blockIndex == 0) WriteTestStart(context_, model_.SelectedTestText);

    for (size_t n = 0; n < model_.Instruments.size(); ++n) {
        InstrumentNeed& need = model_.Instruments[n];
        if (!need.Used || need.DeviceIndex < 0) continue;
        const auto device = static_cast<size_t>(need.DeviceIndex);
        if (!instruments_[device].Opened) ieee_.InitInstrument(device);
        if (blockIndex == 0 && need.ResetMarked && !need.ResetCommand.empty())
            ieee_.SendAndWaitComplete(device, need.ResetCommand);
        need.ResetMarked = false;
    }

    for (auto& line : model_.Commands)
        if (line.BlockIndex == blockIndex && line.Status != -1) line.Status = 0;
    totalMs_ = 0;
    instrumentMs_.assign(model_.Instruments.size(), 0.0);
    WriteBlockStart(context_, block);

    const int loopCount = block.LoopCount;
    const bool looping = loopCount >= 2;
    histories_.assign(model_.Commands.size(), LineHistory{});

    for (int loop = 1; loop <= loopCount && !blockError_; ++loop) {
        size_t labelWidth = 0;
        int linesToSend = 0;
        SetSendFlag(blockIndex, labelWidth, linesToSend);
        context_.LabelWidth = labelWidth;
        for (auto& line : model_.Commands)
            if (line.BlockIndex == blockIndex && line.Status != -1) line.Status = 0;
        int sent = 0;
        while (true) {
            bool took = false;
            for (size_t i = 0; i < model_.Commands.size(); ++i) {
                CommandLine& line = model_.Commands[i];
                if (!line.SendFlag || !CheckSend(i)) continue;
                // Once the run is to stop no further line starts, not even in this pass.
                if (blockError_) break;
                line.SendFlag = false;
                took = true;
                if (line.InstrumentIndex >= 0) {
                    ++sent;
                    host_.View().Progress(block.Caption + ", loop " + std::to_string(loop) + " of " +
                                              std::to_string(loopCount) + ", line",
                                          sent, std::max(linesToSend, 1));
                }
                if (StepMode) WaitForStep(i);
                RunLine(i, loopCount, looping);
                host_.View().MarkCommand(static_cast<int>(i));
            }
            const bool ready = AllInstReady();
            // A run that is to stop leaves simulated completions to their timers.
            if (blockError_) break;
            if (!ready) {
                host_.Pause(1ms); // a completion comes from an event: let it come
                continue;
            }
            host_.ProcessEvents();
            bool pending = false;
            for (const auto& line : model_.Commands)
                pending = pending || (line.BlockIndex == blockIndex && line.SendFlag);
            // Nothing runs: the loop is over, unless this pass freed lines for the next one.
            if (!pending || !took) break;
        }
        // Execution times of the lines this loop finished; command-kind lines record none (-1).
        for (const auto& line : model_.Commands) {
            if (line.BlockIndex != blockIndex || line.Status != 2 || line.LastTime < 0) continue;
            totalMs_ += line.LastTime;
            if (line.InstrumentIndex >= 0 && static_cast<size_t>(line.InstrumentIndex) < instrumentMs_.size())
                instrumentMs_[static_cast<size_t>(line.InstrumentIndex)] += line.LastTime;
        }
        if (looping && !context_.Options.OutputForLoop)
            host_.View().Progress(block.Caption + ", loop", loop, loopCount);
    }
    host_.View().Progress("", 0, 0);

    WriteLoopSummary(context_, loopCount);
    if (context_.Options.Results && looping) {
        std::vector<StatisticsLine> lines;
        for (size_t i = 0; i < model_.Commands.size(); ++i) {
            const CommandLine& line = model_.Commands[i];
            if (line.BlockIndex != blockIndex || line.Status == -1 ||
                line.Result.Kind == ResultKind::NoResult || line.Result.NoStatistics ||
                line.InstrumentIndex < 0)
                continue;
            lines.push_back({&line, histories_[i].Values});
        }
        WriteStatisticsSection(context_, lines, loopCount);
    }
    WriteBlockEnd(context_, block, blockError_);
    WriteExecutionTimes(context_, loopCount, totalMs_, model_.Instruments, instrumentMs_);
    WriteClosingRule(context_);
    if (blockError_) block.RunState = 3;
    if (block.RunState != 3) block.RunState = 2;
    host_.View().BlockStatus(blockIndex, BlockStatus(block).Text);
}

void BlockRun::SetSendFlag(int blockIndex, size_t& labelWidth, int& linesToSend) {
    linesToSend = 0;
    for (auto& line : model_.Commands)
        line.SendFlag = false;
    for (auto& line : model_.Commands) {
        if (line.BlockIndex != blockIndex) continue;
        if (line.Status == -1) {
            line.LastTime = -1.0F;
            line.Result.ValueText = "SUPRESS";
            continue;
        }
        // An instrument that is not used, or one the test case does not name, is not controlled.
        if (!IsKindLine(line) && (line.InstrumentIndex < 0 ||
                                  static_cast<size_t>(line.InstrumentIndex) >= model_.Instruments.size() ||
                                  !model_.Instruments[static_cast<size_t>(line.InstrumentIndex)].Used)) {
            line.LastTime = -1.0F;
            line.Result.ValueText = "NO CONTROL";
            continue;
        }
        line.SendFlag = true;
        if (!IsKindLine(line)) ++linesToSend;
    }
    labelWidth = ComputeLabelWidth(model_.Commands, static_cast<int16_t>(blockIndex));
}

bool BlockRun::CheckSend(size_t lineIndex) const {
    const CommandLine& line = model_.Commands[lineIndex];
    const BlockDef& block = model_.Blocks[static_cast<size_t>(line.BlockIndex)];
    if (!block.IsParallel && lineIndex > 0) {
        const CommandLine& previous = model_.Commands[lineIndex - 1];
        // A line waits for the one before it while that one runs or is still to run; a line this
        // loop skips ("NO CONTROL") would otherwise hold the rest of the block back for good.
        const bool toRun = previous.Status == 1 || (previous.Status == 0 && previous.SendFlag);
        if (previous.BlockIndex == line.BlockIndex && toRun) return false;
    }
    if (line.InstrumentIndex >= 0) {
        const AvailableInstrument* device = DeviceOf(line);
        if (!device || device->Busy) return false;
    }
    return true;
}

bool BlockRun::AllInstReady() const {
    for (const auto& need : model_.Instruments)
        if (need.Used && need.DeviceIndex >= 0 &&
            static_cast<size_t>(need.DeviceIndex) < instruments_.size() &&
            instruments_[static_cast<size_t>(need.DeviceIndex)].Busy)
            return false;
    return true;
}

void BlockRun::WaitForStep(size_t lineIndex) {
    const CommandLine& line = model_.Commands[lineIndex];
    next_ = false;
    // The instrument's name (a kind line's keyword), the command and the line's label.
    std::string who;
    if (IsKindLine(line))
        who = StandardCommandKinds()[static_cast<size_t>(-line.InstrumentIndex - 1)].Keyword;
    else if (static_cast<size_t>(line.InstrumentIndex) < model_.Instruments.size())
        who = model_.Instruments[static_cast<size_t>(line.InstrumentIndex)].Name;
    host_.View().NextStep(who + " | " + line.CommandText + (line.Label.empty() ? "" : " | " + line.Label));
    while (StepMode && !next_ && !blockError_)
        host_.Pause(10ms);
    next_ = false;
    host_.View().NextStep("");
}

void BlockRun::RunLine(size_t lineIndex, int loopCount, bool looping) {
    if (IsKindLine(model_.Commands[lineIndex]))
        RunKindLine(lineIndex, loopCount);
    else
        RunInstrumentLine(lineIndex, loopCount, looping);
}

void BlockRun::RunInstrumentLine(size_t lineIndex, int loopCount, bool looping) {
    CommandLine& line = model_.Commands[lineIndex];
    InstrumentNeed& need = model_.Instruments[static_cast<size_t>(line.InstrumentIndex)];
    const auto device = static_cast<size_t>(need.DeviceIndex);
    line.Status = 1;
    bool isFile = false;
    const std::string sent = SubstituteEquations(model_, line, isFile);
    line.SentText.Assign(sent);
    if (line.ErrorText != "(OK)") {
        line.Status = 2;
        line.LastTime = -1.0F;
        model_.Blocks[static_cast<size_t>(line.BlockIndex)].ErrorFlag = true;
        ShowInstrumentError(context_, line, need.Name);
        return;
    }
    // Two readings kept here and nowhere else: a finished instrument line without a result writes
    // no result line (the command kinds and the block loop say so; the report's table would write
    // one), and the empty line at a block's end is the report's own (its writers add it).
    if (line.Result.Kind == ResultKind::NoResult) {
        need.CurrentLine = static_cast<int32_t>(lineIndex);
        ieee_.SendCommand(device, sent, static_cast<int32_t>(lineIndex), false);
        return;
    }
    std::string variable;
    const std::string query = ExtractAnswerVariable(sent, variable, context_);
    const QueryResult answer = line.Result.Kind == ResultKind::BinFile ? ieee_.QueryBlock(device, query)
                                                                       : ieee_.QueryCommand(device, query);
    line.Result.RawValue = answer.Answer;
    line.Result.Value = answer.Answer;
    line.Result.ValueText = FormattedValue(line, context_.Options.Format);
    line.LastTime = static_cast<float>(answer.Milliseconds);
    line.TimeHistory.push_back(answer.Milliseconds);
    if (!variable.empty()) SetRunVariable(model_, variable, line.Result);
    if (looping) AppendHistory(histories_[lineIndex], line.Result.Value);
    WriteCommandFinished(context_, line, loopCount);
    std::vector<double> times(model_.Instruments.size(), 0.0);
    times[static_cast<size_t>(line.InstrumentIndex)] = answer.Milliseconds;
    WriteTiming(context_, line, loopCount, model_.Instruments, times);
    line.Status = 2;
}

void BlockRun::RunKindLine(size_t lineIndex, int loopCount) {
    CommandLine& line = model_.Commands[lineIndex];
    const int kind = -line.InstrumentIndex;
    line.LastTime = -1.0F;
    switch (kind) {
    case CommandKindCode::Comment:
        WriteComment(context_, line, loopCount);
        break;
    case CommandKindCode::Message:
        host_.MessageBox(line.CommandText, MsgStyle::Information, model_.SelectedTestText);
        break;
    case CommandKindCode::Calculator: {
        std::string name, equation;
        if (!SplitAssignment(line.CommandText, name, equation)) equation = line.CommandText;
        std::string error;
        bool isFile = false;
        const std::string value = EvaluateEquation(model_, equation, error, isFile);
        if (!error.empty()) notifier_.ReportError(error, true);
        line.Result.Value = value;
        line.Result.RawValue = value;
        line.Result.ValueText = FormattedValue(line, context_.Options.Format);
        if (!name.empty()) SetRunVariable(model_, name, line.Result);
        WriteCalculation(context_, line, loopCount);
        break;
    }
    case CommandKindCode::Limit: {
        std::string error;
        bool isFile = false;
        const std::string value = EvaluateEquation(model_, line.CommandText, error, isFile);
        if (!error.empty()) notifier_.ReportError(error, true);
        const double verdict = LeadingNumber(value);
        line.Result.Value = value;
        // The verdict stays with the line for the run's results (JUnit, JSON).
        line.Result.ValueText = verdict == 0 ? "FAILED" : "PASSED";
        WriteLimit(context_, line, loopCount, verdict);
        break;
    }
    case CommandKindCode::Wait: {
        const double ms = LeadingNumber(line.CommandText);
        WaitMilliseconds(ms);
        FinishKindLine(line);
        line.LastTime = static_cast<float>(ms);
        line.TimeHistory.push_back(ms);
        return;
    }
    case CommandKindCode::DOSCommand:
        line.Result.Value = RunShellCommand(line.CommandText);
        line.Result.RawValue = line.Result.Value;
        break;
    case CommandKindCode::Shell: {
#ifndef _WIN32
        // Started without waiting; a second fork detaches it, so no child is left to reap.
        const pid_t child = ::fork();
        if (child == 0) {
            if (::fork() == 0) {
                ::execl("/bin/sh", "sh", "-c", line.CommandText.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            ::_exit(0);
        }
        if (child > 0) ::waitpid(child, nullptr, 0);
#endif
        break;
    }
    case CommandKindCode::Store: {
        std::string name, file;
        ResultSpec spec;
        int source = 0;
        if (SplitAssignment(line.CommandText, name, file) && FindVariable(model_, name, spec, source)) {
            std::filesystem::path path(file);
            if (path.is_relative() && !model_.TestDirectory.empty())
                path = std::filesystem::path(model_.TestDirectory) / path;
            std::ofstream(path, std::ios::binary | std::ios::app) << spec.RawValue << "\n";
        }
        break;
    }
    default: // ProcessCall: nothing
        break;
    }
    FinishKindLine(line);
    line.LastTime = -1.0F;
}

void BlockRun::WaitMilliseconds(double ms) {
    const HostTime start = host_.Now();
    const auto wanted = std::chrono::duration<double, std::milli>(ms);
    // The stop flag ends a wait too.
    while (!blockError_) {
        const auto elapsed = std::chrono::duration<double, std::milli>(host_.Now() - start);
        if (elapsed > wanted) return;
        const auto left = std::chrono::duration_cast<HostTime>(wanted - elapsed) + 1us;
        host_.Pause(std::min<HostTime>(left, 10ms));
    }
}

std::string BlockRun::RunShellCommand(const std::string& command) {
#ifdef _WIN32
    (void)command;
    return {};
#else
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::temp_directory_path(ec);
    std::string outputName = (folder / "MyShellXXXXXX").string();
    const int fd = ::mkstemp(outputName.data());
    if (fd < 0) return {};
    ::close(fd);
    std::string scriptName = (folder / "MyBatchXXXXXX").string();
    const int scriptFd = ::mkstemp(scriptName.data());
    if (scriptFd < 0) {
        fs::remove(outputName, ec);
        return {};
    }
    const std::string script = command + " > '" + outputName + "'\n";
    (void)!::write(scriptFd, script.data(), script.size());
    ::close(scriptFd);
    pid_t child = -1;
    char shell[] = "/bin/sh";
    char* argv[] = {shell, scriptName.data(), nullptr};
    // Its own process group, so that a stop ends whatever the script started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int spawned = ::posix_spawn(&child, "/bin/sh", nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned == 0) {
        // Waited for while events run; a stop ends the command.
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (blockError_) {
                ::kill(-child, SIGTERM);
                ::waitpid(child, &status, 0);
                break;
            }
            host_.Pause(10ms);
        }
    }
    fs::remove(scriptName, ec);
    std::string output = ReadFileBytes(outputName).value_or("");
    fs::remove(outputName, ec);
    // The output's lines, each ended by a line feed only.
    std::string value;
    for (size_t i = 0; i < output.size(); ++i)
        if (!(output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n')) value += output[i];
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
#endif
}

} // namespace zep
