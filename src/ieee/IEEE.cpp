// The instrument command layer.
#include "ieee/IEEE.h"

#include "common/StringOp.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

namespace zep {

namespace {

constexpr int ReArmMask = 2048;
constexpr ViUInt32 OpenTimeoutMs = 2000;
constexpr int LongTimeoutCode = 15;     // 100000 ms for one command
constexpr int RestoredTimeoutCode = 13; // 10000 ms after it
constexpr size_t QueryBufferSize = 100000;
constexpr size_t ErrorBufferSize = 200;
constexpr std::string_view PollingOff = "error polling is switched off";

// The number before the first comma of an error-queue answer, as the instrument wrote it.
bool ErrorNumber(std::string_view answer, long& number) {
    const size_t comma = answer.find(',');
    if (comma == std::string_view::npos) return false;
    number = static_cast<long>(LeadingNumber(answer.substr(0, comma)));
    return true;
}

} // namespace

IEEE::IEEE(Host& host, std::vector<AvailableInstrument>& instruments, TestModel& model,
           ReportContext& context, bool& blockError)
    : host_(host), instruments_(instruments), model_(model), context_(context), blockError_(blockError),
      random_([engine = std::mt19937_64(std::random_device{}())]() mutable {
          return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
      }) {}

AvailableInstrument* IEEE::Entry(size_t index) {
    return index < instruments_.size() ? &instruments_[index] : nullptr;
}

IEEE::InstrumentState& IEEE::State(size_t index) {
    if (states_.size() < instruments_.size()) states_.resize(instruments_.size());
    return states_[index];
}

double IEEE::ElapsedMs(size_t index) const {
    return std::chrono::duration<double, std::milli>(host_.Now() - states_[index].started).count();
}

void IEEE::InitInstrument(size_t index) {
    AvailableInstrument* entry = Entry(index);
    if (!entry) return;
    if (options_.Simulation || !wrap_) {
        entry->Opened = options_.Simulation;
        return;
    }
    InstrumentState& state = State(index);
    wrap_->OpenSession(entry->Resource, entry->Session, OpenTimeoutMs);
    state.timeoutMs = OpenTimeoutMs;
    wrap_->ClearDevice(entry->Session);
    wrap_->IbSre(0, 1);
    if (!entry->NoStatusCommands) wrap_->WriteText(entry->Session, "*CLS");
    wrap_->WriteText(entry->Session, "*ESE 1");
    if (!entry->NoStatusCommands) wrap_->WriteText(entry->Session, "*SRE 32");
    entry->Opened = true;
}

bool IEEE::ClearCommandPrecedes(size_t index) const {
    const AvailableInstrument& entry = instruments_[index];
    if (entry.NoStatusCommands || entry.NeedIndex < 0 ||
        static_cast<size_t>(entry.NeedIndex) >= model_.Instruments.size())
        return false;
    const std::string& clear = model_.Instruments[static_cast<size_t>(entry.NeedIndex)].ClearCommand;
    return !clear.empty() && clear != "-";
}

void IEEE::SendCommand(size_t index, std::string_view command, int32_t lineIndex, bool longTimeout) {
    AvailableInstrument* entry = Entry(index);
    if (!entry) return;
    InstrumentState& state = State(index);
    state.visaFailure.clear();
    if (lineIndex >= 0 && entry->NeedIndex >= 0 &&
        static_cast<size_t>(entry->NeedIndex) < model_.Instruments.size())
        model_.Instruments[static_cast<size_t>(entry->NeedIndex)].CurrentLine = lineIndex;
    entry->Busy = true;
    host_.View().Indicator("busy", true);
    const bool real = !options_.Simulation && wrap_;
    if (longTimeout) {
        entry->RestoreTimeoutCode = RestoredTimeoutCode;
        if (real) {
            wrap_->SetTimeoutCode(entry->Session, LongTimeoutCode);
            state.timeoutMs = VISAWrap::TimeoutCodeMilliseconds(LongTimeoutCode);
        }
    } else {
        entry->RestoreTimeoutCode = -1;
    }
    state.started = host_.Now();

    if (!real) {
        // round(r x SimMaxTime + 1) with halves to even.
        const double delay = std::nearbyint(random_() * static_cast<double>(options_.SimMaxTime) + 1.0);
        host_.CancelTimer(state.simulationTimer);
        state.simulationTimer =
            host_.StartTimer(std::chrono::milliseconds(static_cast<long long>(delay)), [this, index] {
                State(index).simulationTimer = 0;
                IEEENotify_Notify(index);
            });
        return;
    }

    if (state.answerOutstanding) {
        wrap_->ClearDevice(entry->Session);
        state.answerOutstanding = false;
    }
    if (ClearCommandPrecedes(index)) {
        const std::string& clear = model_.Instruments[static_cast<size_t>(entry->NeedIndex)].ClearCommand;
        if (ViStatus status = wrap_->WriteText(entry->Session, clear); status < VI_SUCCESS)
            FailVisa(index, "write \"" + clear + "\"", status);
    }
    if (state.visaFailure.empty()) {
        const std::string text = model_.NoOpc ? std::string(command) : std::string(command) + ";*OPC";
        if (ViStatus status = wrap_->WriteText(entry->Session, text); status < VI_SUCCESS)
            FailVisa(index, "write \"" + text + "\"", status);
        // Without ";*OPC" the status byte never reports completion: the line is done once written.
        else if (!model_.NoOpc)
            WaitForServiceRequest(index);
    }
    IEEENotify_Notify(index);
}

bool IEEE::WaitForServiceRequest(size_t index) {
    AvailableInstrument& entry = instruments_[index];
    InstrumentState& state = State(index);
    // Each status-byte read is short, so a silent instrument cannot keep the stop button waiting.
    wrap_->SetTimeoutCode(entry.Session, PollTimeoutCode);
    bool ok = true;
    ViUInt16 first = 0;
    if (const ViStatus status = wrap_->ReadStatusByte(entry.Session, first);
        status < VI_SUCCESS && status != VI_ERROR_TMO) {
        FailVisa(index, "read status byte", status);
        ok = false;
    }
    const HostTime start = host_.Now();
    while (ok) {
        ViUInt16 statusByte = 0;
        const ViStatus status = wrap_->ReadStatusByte(entry.Session, statusByte);
        // A slow instrument may let a read time out; anything else means the link is gone.
        if (status < VI_SUCCESS && status != VI_ERROR_TMO) {
            FailVisa(index, "read status byte", status);
            ok = false;
            break;
        }
        if (status >= VI_SUCCESS && statusByte != 0) break;
        if (blockError_) break;
        host_.Pause(host_.Now() - start < std::chrono::milliseconds(50) ? std::chrono::milliseconds(1)
                                                                        : std::chrono::milliseconds(10));
        if (blockError_) break;
    }
    wrap_->SetTimeoutCode(entry.Session, static_cast<int>(state.timeoutMs));
    return ok;
}

void IEEE::FailVisa(size_t index, std::string_view operation, ViStatus status) {
    InstrumentState& state = State(index);
    if (state.visaFailure.empty()) state.visaFailure = std::string(operation) + ": " + VisaStatusText(status);
}

CommandLine* IEEE::RunningLine(size_t index) {
    const AvailableInstrument& entry = instruments_[index];
    if (entry.NeedIndex < 0 || static_cast<size_t>(entry.NeedIndex) >= model_.Instruments.size())
        return nullptr;
    const int32_t line = model_.Instruments[static_cast<size_t>(entry.NeedIndex)].CurrentLine;
    if (line < 0 || static_cast<size_t>(line) >= model_.Commands.size()) return nullptr;
    return &model_.Commands[static_cast<size_t>(line)];
}

int IEEE::IEEENotify_Notify(size_t index) {
    AvailableInstrument* entry = Entry(index);
    if (!entry) return ReArmMask;
    InstrumentState& state = State(index);
    const double elapsed = ElapsedMs(index);
    const bool real = !options_.Simulation && wrap_;
    if (real && state.visaFailure.empty()) {
        ViUInt16 statusByte = 0;
        if (ViStatus status = wrap_->ReadStatusByte(entry->Session, statusByte);
            status < VI_SUCCESS && status != VI_ERROR_TMO)
            FailVisa(index, "read status byte", status);
    }
    CommandLine* line = RunningLine(index);
    const bool finishing = line && line->InstrumentIndex >= 0 && line->Status == 1 && entry->Busy;
    if (finishing) {
        line->Status = 2;
        line->LastTime = static_cast<float>(elapsed);
        if (!line->TimeHistory.empty() && line->TimeHistory.front() == -1)
            line->TimeHistory.front() = elapsed;
        else
            line->TimeHistory.push_back(elapsed);
        const InstrumentNeed& need = model_.Instruments[static_cast<size_t>(entry->NeedIndex)];
        bool failed = false;
        if (!real) {
            line->ErrorText = "(OK)";
            line->ErrorDetail = need.ErrorQuery == "-" ? std::string(PollingOff) : "(simulation only)";
        } else {
            if (entry->RestoreTimeoutCode != -1) {
                wrap_->SetTimeoutCode(entry->Session, entry->RestoreTimeoutCode);
                state.timeoutMs = VISAWrap::TimeoutCodeMilliseconds(entry->RestoreTimeoutCode);
                entry->RestoreTimeoutCode = -1;
            }
            int code = 0;
            std::string lines;
            if (state.visaFailure.empty() && need.ErrorQuery != "-")
                PollErrorQueue(index, need.ErrorQuery, code, lines);
            if (!state.visaFailure.empty()) {
                line->ErrorText = "VISA ERROR";
                line->ErrorDetail = state.visaFailure;
                failed = true;
            } else if (need.ErrorQuery == "-") {
                line->ErrorText = "(OK)";
                line->ErrorDetail = PollingOff;
            } else {
                line->ErrorText = code > 0 ? "INST ERROR" : code < 0 ? "SCPI ERROR" : "(OK)";
                if (lines.size() >= 2) lines.resize(lines.size() - 2); // no line break after the last
                line->ErrorDetail = lines;
                failed = code != 0;
            }
        }
        if (failed) {
            ++entry->ErrorCount;
            if (line->BlockIndex >= 0 && static_cast<size_t>(line->BlockIndex) < model_.Blocks.size())
                model_.Blocks[static_cast<size_t>(line->BlockIndex)].ErrorFlag = true;
            host_.View().Indicator("error", true);
            ShowInstrumentError(context_, *line, need.Name);
        }
        if (options_.IEEEDisp) host_.View().MarkCommand(static_cast<int>(line - model_.Commands.data()));
    }
    entry->Busy = false;
    host_.View().Indicator("busy", false);
    // Clears the event status register: when no line was running, and after every completion that
    // no clear command will follow, or the next wait would end at once on the old completion bit.
    if (real && state.visaFailure.empty() &&
        (!finishing ? !entry->NoStatusCommands : !ClearCommandPrecedes(index)))
        ReadEsr(index);
    return ReArmMask;
}

void IEEE::ReadEsr(size_t index) {
    std::string buffer(2, ' ');
    Query(index, "*ESR?", buffer);
}

ViStatus IEEE::Query(size_t index, std::string_view command, std::string& buffer) {
    const ViStatus status = wrap_->QueryText(instruments_[index].Session, command, buffer);
    if (status == VI_ERROR_TMO) State(index).answerOutstanding = true;
    return status;
}

bool IEEE::PollErrorQueue(size_t index, const std::string& query, int& code, std::string& lines) {
    long previous = 0;
    for (int answers = 0; answers < MaxErrorAnswers; ++answers) {
        std::string buffer(ErrorBufferSize, ' ');
        const ViStatus status = Query(index, query + "?", buffer);
        if (status < VI_SUCCESS) {
            FailVisa(index, "query \"" + query + "?\"", status);
            return false;
        }
        buffer.resize(std::min<size_t>(wrap_->LastCount(), buffer.size()));
        const std::string answer = VISAWrap::StripLineEnds(buffer);
        long number = previous;
        ErrorNumber(answer, number);
        if (answers == 0) code = number > 0 ? 1 : number < 0 ? -1 : 0;
        if (answers == 0 || number != 0) lines += answer + "\r\n";
        previous = number;
        if (number == 0) return true;
    }
    return true;
}

QueryResult IEEE::QueryCommand(size_t index, std::string_view command) {
    return TimedQuery(index, command, [&] {
        // One buffer for every query: only the bytes a read delivers are looked at, so it need
        // not be blanked again (100 kB per line would cost more than the exchange itself).
        if (queryBuffer_.size() != QueryBufferSize) queryBuffer_.assign(QueryBufferSize, ' ');
        Query(index, command, queryBuffer_);
        return VISAWrap::StripLineEnds(
            std::string_view(queryBuffer_)
                .substr(0, std::min<size_t>(wrap_->LastCount(), queryBuffer_.size())));
    });
}

QueryResult IEEE::QueryBlock(size_t index, std::string_view command) {
    return TimedQuery(index, command, [&] {
        const ViSession session = instruments_[index].Session;
        if (wrap_->WriteText(session, command) < VI_SUCCESS) return std::string();
        std::string answer = wrap_->ReadDefiniteBlock(session);
        // The block reader stops at the data's end; a terminator after it would otherwise be the
        // start of the next answer.
        if (wrap_->LastStatus() == VI_SUCCESS_MAX_CNT) {
            std::string rest(16, ' ');
            if (wrap_->ReadText(session, rest) == VI_ERROR_TMO) State(index).answerOutstanding = true;
        }
        return answer;
    });
}

QueryResult IEEE::TimedQuery(size_t index, std::string_view command,
                             const std::function<std::string()>& exchange) {
    QueryResult result;
    AvailableInstrument* entry = Entry(index);
    if (!entry) return result;
    entry->Busy = true;
    host_.View().Indicator("busy", true);
    State(index).started = host_.Now();
    result.Answer = !options_.Simulation && wrap_
                        ? exchange()
                        : host_.InputBox("Answer to " + std::string(command), "INPUT", "").value_or("");
    result.Milliseconds = ElapsedMs(index);
    entry->Busy = false;
    host_.View().Indicator("busy", false);
    return result;
}

void IEEE::SendAndWaitComplete(size_t index, std::string_view command) {
    AvailableInstrument* entry = Entry(index);
    if (!entry || options_.Simulation || !wrap_) return;
    wrap_->WriteText(entry->Session, command);
    if (model_.NoOpc) return;
    std::string buffer(10, ' ');
    Query(index, "*OPC?", buffer);
}

} // namespace zep
