// The IEEE 488.2 status model, the SCPI error queue and the program-message parser.
#include "Instrument.h"

#include "common/StringOp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zep::instsim {

namespace {

constexpr std::size_t ErrorQueueSize = 10;
constexpr std::size_t MaxResponseBytes = 40 * 1024 * 1024; // two of the largest blocks, with room

std::string FormatNumber(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
    return buffer;
}

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string BlockOf(std::string_view bytes) {
    std::string length = std::to_string(bytes.size());
    return "#" + std::to_string(length.size()) + length + std::string(bytes);
}

// Splits a program message at ';' outside quoted strings and definite-length blocks.
std::vector<std::string> SplitUnits(std::string_view message) {
    std::vector<std::string> units;
    std::string current;
    for (std::size_t i = 0; i < message.size(); ++i) {
        char c = message[i];
        if (c == '"' || c == '\'') {
            std::size_t close = message.find(c, i + 1);
            if (close == std::string_view::npos) close = message.size() - 1;
            current.append(message.substr(i, close - i + 1));
            i = close;
        } else if (c == '#' && i + 1 < message.size() && message[i + 1] >= '1' && message[i + 1] <= '9') {
            std::size_t digits = static_cast<std::size_t>(message[i + 1] - '0');
            std::size_t length = 0;
            bool valid = i + 2 + digits <= message.size();
            for (std::size_t d = 0; valid && d < digits; ++d) {
                char digit = message[i + 2 + d];
                valid = digit >= '0' && digit <= '9';
                length = length * 10 + static_cast<std::size_t>(digit - '0');
            }
            std::size_t end = valid ? std::min(message.size(), i + 2 + digits + length) : i + 1;
            current.append(message.substr(i, end - i));
            i = end - 1;
        } else if (c == ';') {
            units.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    units.push_back(std::move(current));
    return units;
}

} // namespace

Device::Device(InstrumentDefinition definition, std::uint32_t seed)
    : definition_(std::move(definition)), random_(seed) {
    values_.resize(definition_.commands.size());
    for (std::size_t i = 0; i < definition_.commands.size(); ++i)
        values_[i] = definition_.commands[i].defaultValue;
}

void Device::Advance(SimTime now) {
    auto due = [now](const OpcWatcher& w) { return w.at <= now; };
    if (std::any_of(watchers_.begin(), watchers_.end(), due)) {
        esr_ |= esr::OPC;
        watchers_.erase(std::remove_if(watchers_.begin(), watchers_.end(), due), watchers_.end());
    }
}

SimTime Device::NextEvent() const {
    SimTime next = Never;
    for (const OpcWatcher& w : watchers_)
        next = std::min(next, w.at);
    return next;
}

void Device::QueueError(int code, std::string text) {
    if (code <= -100 && code > -200)
        esr_ |= esr::CME;
    else if (code <= -200 && code > -300)
        esr_ |= esr::EXE;
    else if (code <= -400 && code > -500)
        esr_ |= esr::QYE;
    else
        esr_ |= esr::DDE;
    if (errors_.size() >= ErrorQueueSize) {
        errors_.back() = ErrorEntry{-350, "Queue overflow"};
        return;
    }
    errors_.push_back(ErrorEntry{code, std::move(text)});
}

std::uint8_t Device::TakeEventStatus() {
    std::uint8_t value = esr_;
    esr_ = 0;
    return value;
}

ErrorEntry Device::PopError() {
    if (errors_.empty()) return ErrorEntry{0, "No error"};
    ErrorEntry entry = std::move(errors_.front());
    errors_.pop_front();
    return entry;
}

void Device::ClearStatus() {
    esr_ = 0;
    errors_.clear();
    watchers_.clear();
}

void Device::Reset(SimTime now, bool neverComplete) {
    for (std::size_t i = 0; i < definition_.commands.size(); ++i)
        values_[i] = definition_.commands[i].defaultValue;
    watchers_.clear();
    StartOperation(now, definition_.resetMs, neverComplete);
}

void Device::StartOperation(SimTime now, SimTime duration, bool neverComplete) {
    SimTime end = neverComplete ? Never : now + duration;
    busyUntil_ = std::max(busyUntil_, end);
}

void Device::WatchOperationComplete(int sessionId) {
    watchers_.push_back(OpcWatcher{sessionId, busyUntil_});
}

void Device::CancelWatchers(int sessionId) {
    watchers_.erase(std::remove_if(watchers_.begin(), watchers_.end(),
                                   [sessionId](const OpcWatcher& w) { return w.sessionId == sessionId; }),
                    watchers_.end());
}

double Device::ParamNumber(std::size_t index) const {
    auto number = index < values_.size() ? ParseScpiNumber(values_[index]) : std::nullopt;
    return number.value_or(0);
}

std::optional<double> Device::SignalLevel(std::optional<double> tunedFrequency) const {
    if (!definition_.signal) return std::nullopt;
    const SourceSpec& signal = *definition_.signal;
    if (ParamNumber(signal.outputParam) == 0) return std::nullopt;
    double level = ParamNumber(signal.levelParam);
    if (!tunedFrequency) return level;
    double frequency = ParamNumber(signal.frequencyParam);
    const double relative[] = {0, signal.harmonic2, signal.harmonic3};
    for (int n = 1; n <= 3; ++n) {
        double tolerance = std::max(1.0, frequency * 1e-3);
        if (std::fabs(*tunedFrequency - n * frequency) <= tolerance) return level + relative[n - 1];
    }
    return std::nullopt;
}

double Device::Noise(double amplitude) {
    if (amplitude <= 0) return 0;
    std::uniform_real_distribution<double> distribution(-amplitude, amplitude);
    return distribution(random_);
}

std::string Device::Garbage() {
    std::uniform_int_distribution<int> length(8, 40), byte(1, 255);
    std::string text(static_cast<std::size_t>(length(random_)), '\0');
    for (char& c : text) {
        int value = byte(random_);
        if (value == '\n') value = 0xFF;
        c = static_cast<char>(value);
    }
    return text;
}

Session::Session(Device& device, int id, bool interruptUnreadOutput)
    : device_(device), id_(id), interruptUnreadOutput_(interruptUnreadOutput) {}

bool Session::Receive(std::string_view message, SimTime now) {
    for (const FaultSpec& fault : device_.definition_.faults)
        if (fault.kind == FaultSpec::Kind::DropAfter && messages_ >= fault.value) return false;
    ++messages_;
    if (interruptUnreadOutput_ && !output_.empty() && output_.front().readyAt <= now) {
        // A lone terminator left by a short read is no answer the client missed.
        const Response& head = output_.front();
        bool onlyTerminator =
            output_.size() == 1 && head.data.size() - head.offset == 1 && head.data.back() == '\n';
        for (const Response& response : output_)
            bufferedBytes_ -= response.data.size() - response.offset;
        output_.clear();
        if (!onlyTerminator) device_.QueueError(-410, "Query INTERRUPTED");
    }
    std::vector<std::string> units = SplitUnits(message);
    for (std::size_t i = 0; i < units.size(); ++i) {
        bufferedBytes_ += units[i].size() + 1; // empty units take room too
        input_.push_back(Unit{std::move(units[i]), i + 1 == units.size()});
    }
    ProcessInput(now);
    return true;
}

void Session::Advance(SimTime now) {
    ProcessInput(now);
    UpdateServiceRequest(now);
}

SimTime Session::NextEvent(SimTime now) const {
    SimTime next = Never;
    if (!input_.empty() && waitUntil_ > now) next = std::min(next, waitUntil_);
    if (!output_.empty() && output_.front().readyAt > now) next = std::min(next, output_.front().readyAt);
    return next;
}

void Session::ProcessInput(SimTime now) {
    while (!input_.empty()) {
        if (waitUntil_ > now) return;
        Unit unit = std::move(input_.front());
        input_.pop_front();
        bufferedBytes_ -= unit.text.size() + 1;
        ExecuteUnit(unit.text, now);
        if (unit.endsMessage) FinishMessage();
        UpdateServiceRequest(now);
    }
}

void Session::FinishMessage() {
    path_.clear();
    if (parts_.empty()) return;
    Response response;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        if (i > 0) response.data += ';';
        response.data += parts_[i].text;
        response.readyAt = std::max(response.readyAt, parts_[i].readyAt);
    }
    response.data += '\n';
    bufferedBytes_ = bufferedBytes_ - partsBytes_ + response.data.size();
    partsBytes_ = 0;
    output_.push_back(std::move(response));
    parts_.clear();
}

bool Session::FaultApplies(const FaultSpec& fault) const {
    if (!fault.header) return true;
    if (!fault.header->common.empty()) return fault.header->common == unitCommon_;
    return unitCommon_.empty() && MatchNodes(*fault.header, unitMnemonics_);
}

bool Session::NeverCompletes() const {
    for (const FaultSpec& fault : device_.definition_.faults)
        if (fault.kind == FaultSpec::Kind::NeverComplete && FaultApplies(fault)) return true;
    return false;
}

void Session::Answer(std::string text, SimTime readyAt) {
    for (const FaultSpec& fault : device_.definition_.faults) {
        if (!FaultApplies(fault)) continue;
        if (fault.kind == FaultSpec::Kind::Stall) readyAt = readyAt == Never ? Never : readyAt + fault.value;
        if (fault.kind == FaultSpec::Kind::Garbage) text = device_.Garbage();
    }
    // One line of queries must not make an answer without bound (":DATA?;:DATA?;..." with big blocks).
    if (partsBytes_ + text.size() > MaxResponseBytes) {
        device_.QueueError(-223, "Too much data");
        return;
    }
    partsBytes_ += text.size();
    bufferedBytes_ += text.size();
    parts_.push_back(Part{std::move(text), readyAt});
}

void Session::ExecuteUnit(const std::string& unit, SimTime now) {
    std::string text = Trim(unit);
    if (text.empty()) return;
    std::size_t split = 0;
    while (split < text.size() && !std::isspace(static_cast<unsigned char>(text[split])))
        ++split;
    std::string token = text.substr(0, split);
    std::string params = Trim(std::string_view(text).substr(split));
    auto header = ParseReceivedHeader(token);
    unitMnemonics_.clear();
    unitCommon_.clear();
    if (!header) {
        device_.QueueError(-102, "Syntax error");
        return;
    }
    if (!header->common.empty()) {
        unitCommon_ = header->common;
        ExecuteCommon(*header, params, now);
        return;
    }
    std::vector<std::vector<std::string>> candidates;
    if (!header->absolute && !path_.empty()) {
        std::vector<std::string> relative = path_;
        relative.insert(relative.end(), header->mnemonics.begin(), header->mnemonics.end());
        candidates.push_back(std::move(relative));
    }
    candidates.push_back(header->mnemonics);
    for (const std::vector<std::string>& mnemonics : candidates) {
        unitMnemonics_ = mnemonics;
        bool found = ExecuteBuiltin(mnemonics, header->query, params, now);
        for (std::size_t i = 0; !found && i < device_.definition_.commands.size(); ++i) {
            const CommandDef& command = device_.definition_.commands[i];
            bool kindFits = command.kind == CommandDef::Kind::Param ||
                            (command.kind == CommandDef::Kind::Query) == header->query;
            if (kindFits && MatchNodes(command.header, mnemonics)) {
                ExecuteDefined(i, header->query, params, now);
                found = true;
            }
        }
        if (found) {
            path_.assign(mnemonics.begin(), mnemonics.end() - 1);
            return;
        }
    }
    device_.QueueError(-113, "Undefined header");
}

bool Session::ParseRegisterValue(const std::string& params, std::uint8_t& value) {
    if (params.empty()) {
        device_.QueueError(-109, "Missing parameter");
        return false;
    }
    auto number = ParseScpiNumber(params);
    if (!number) {
        device_.QueueError(-104, "Data type error");
        return false;
    }
    double rounded = std::nearbyint(*number);
    if (rounded < 0 || rounded > 255) {
        device_.QueueError(-222, "Data out of range");
        return false;
    }
    value = static_cast<std::uint8_t>(rounded);
    return true;
}

void Session::ExecuteCommon(const ReceivedHeader& header, const std::string& params, SimTime now) {
    const std::string& name = header.common;
    bool takesParameter = !header.query && (name == "*ESE" || name == "*SRE");
    if (!takesParameter && !params.empty()) {
        device_.QueueError(-108, "Parameter not allowed");
        return;
    }
    if (header.query) {
        if (name == "*IDN")
            Answer(device_.definition_.idn, now);
        else if (name == "*OPT")
            Answer(device_.definition_.opt, now);
        else if (name == "*ESR")
            Answer(std::to_string(device_.TakeEventStatus()), now);
        else if (name == "*ESE")
            Answer(std::to_string(device_.ese_), now);
        else if (name == "*SRE")
            Answer(std::to_string(device_.sre_), now);
        else if (name == "*STB")
            Answer(std::to_string(StatusByte(now)), now);
        else if (name == "*OPC")
            Answer("1", NeverCompletes() ? Never : device_.busyUntil_);
        else if (name == "*TST")
            Answer("0", now);
        else
            device_.QueueError(-113, "Undefined header");
        return;
    }
    if (name == "*CLS") {
        device_.ClearStatus();
        rqs_ = false;
    } else if (name == "*ESE" || name == "*SRE") {
        std::uint8_t value = 0;
        if (!ParseRegisterValue(params, value)) return;
        if (name == "*ESE")
            device_.ese_ = value;
        else
            device_.sre_ = static_cast<std::uint8_t>(value & ~stb::MSS);
    } else if (name == "*OPC") {
        if (NeverCompletes()) device_.busyUntil_ = Never;
        device_.WatchOperationComplete(id_);
        device_.Advance(now);
    } else if (name == "*WAI") {
        waitUntil_ = NeverCompletes() ? Never : device_.busyUntil_;
    } else if (name == "*RST") {
        device_.Reset(now, NeverCompletes());
    } else if (name == "*TRG" || name == "*GTL") {
        // Nothing to trigger; local and remote make no difference to a simulated front panel. The
        // executor sends *GTL when it hands an instrument back, so it must not queue an error.
    } else {
        device_.QueueError(-113, "Undefined header");
    }
}

bool Session::ExecuteBuiltin(const std::vector<std::string>& mnemonics, bool query, const std::string& params,
                             SimTime now) {
    static const auto patterns = [] {
        std::string error;
        return std::vector<HeaderPattern>{
            *CompileHeader("SYSTem:ERRor[:NEXT]?", error), *CompileHeader("SYSTem:ERRor:ALL?", error),
            *CompileHeader("SYSTem:ERRor:COUNt?", error), *CompileHeader("SYSTem:VERSion?", error)};
    }();
    std::size_t which = 0;
    while (which < patterns.size() && !MatchNodes(patterns[which], mnemonics))
        ++which;
    if (which == patterns.size()) return false;
    if (!query) {
        device_.QueueError(-113, "Undefined header");
        return true;
    }
    if (!params.empty()) {
        device_.QueueError(-108, "Parameter not allowed");
        return true;
    }
    if (which == 0) {
        Answer(device_.PopError().Format(), now);
    } else if (which == 1) {
        std::string all;
        do {
            if (!all.empty()) all += ',';
            all += device_.PopError().Format();
        } while (device_.HasErrors());
        Answer(all, now);
    } else if (which == 2) {
        Answer(std::to_string(device_.ErrorCount()), now);
    } else {
        Answer("1999.0", now);
    }
    return true;
}

void Session::ExecuteDefined(std::size_t index, bool query, const std::string& params, SimTime now) {
    const CommandDef& command = device_.definition_.commands[index];
    if (command.error) device_.QueueError(command.error->code, command.error->text);
    if (command.kind == CommandDef::Kind::Param && query) {
        const std::string& value = device_.values_[index];
        auto number = ParseScpiNumber(value);
        Answer(number ? FormatNumber(*number, 12) : value, now);
        return;
    }
    if (command.kind == CommandDef::Kind::Param) {
        if (params.empty()) {
            device_.QueueError(-109, "Missing parameter");
            return;
        }
        if (command.range) {
            auto number = ParseScpiNumber(params);
            if (!number) {
                device_.QueueError(-104, "Data type error");
                return;
            }
            if (*number < command.range->first || *number > command.range->second) {
                device_.QueueError(-222, "Data out of range");
                return;
            }
        }
        device_.values_[index] = params;
        device_.StartOperation(now, command.durationMs, NeverCompletes());
        return;
    }
    if (command.kind == CommandDef::Kind::Command) {
        device_.StartOperation(now, command.durationMs, NeverCompletes());
        return;
    }
    const AnswerSpec& answer = command.answer;
    std::string text;
    switch (answer.kind) {
    case AnswerSpec::Kind::Text:
        text = answer.text;
        break;
    case AnswerSpec::Kind::BlockText:
        text = BlockOf(answer.text);
        break;
    case AnswerSpec::Kind::Block: {
        std::string bytes(answer.blockSize, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i & 0xFF);
        text = BlockOf(bytes);
        break;
    }
    case AnswerSpec::Kind::Measure: {
        // The noise floor of the receiver when the source emits nothing where it is tuned.
        constexpr double Floor = -95;
        const Device* source = device_.peers_ ? device_.peers_(answer.sourceName) : nullptr;
        std::optional<double> tuned;
        if (answer.tuningParam) tuned = device_.ParamNumber(*answer.tuningParam);
        std::optional<double> level = source ? source->SignalLevel(tuned) : std::nullopt;
        double value = level ? *level + answer.offset : Floor;
        text = FormatNumber(value + device_.Noise(answer.noise), 9);
        break;
    }
    case AnswerSpec::Kind::Number:
    case AnswerSpec::Kind::List:
        for (std::size_t i = 0; i < answer.values.size(); ++i) {
            if (i > 0) text += ',';
            text += FormatNumber(answer.values[i] + device_.Noise(answer.noise), 9);
        }
        break;
    }
    Answer(std::move(text), now + command.durationMs);
}

bool Session::OutputReady(SimTime now) const {
    return !output_.empty() && output_.front().readyAt <= now;
}

bool Session::AnswerPending() const {
    return !output_.empty() || !parts_.empty() || !input_.empty();
}

std::string Session::TakeOutput(SimTime now, std::size_t maxBytes, int termChar, bool& end) {
    end = false;
    if (!OutputReady(now)) return {};
    Response& head = output_.front();
    std::size_t count = std::min(maxBytes, head.data.size() - head.offset);
    if (termChar >= 0 && termChar <= 255) {
        std::size_t found = head.data.find(static_cast<char>(termChar), head.offset);
        if (found != std::string::npos) count = std::min(count, found - head.offset + 1);
    }
    std::string chunk = head.data.substr(head.offset, count);
    head.offset += count;
    bufferedBytes_ -= count;
    if (head.offset == head.data.size()) {
        end = true;
        output_.pop_front();
    }
    return chunk;
}

void Session::QueryUnterminated() {
    device_.QueueError(-420, "Query UNTERMINATED");
}

std::uint8_t Session::StatusByte(SimTime now) const {
    std::uint8_t value = 0;
    if (device_.HasErrors()) value |= stb::EAV;
    if (OutputReady(now)) value |= stb::MAV;
    if ((device_.esr_ & device_.ese_) != 0) value |= stb::ESB;
    if ((value & device_.sre_) != 0) value |= stb::MSS;
    return value;
}

void Session::UpdateServiceRequest(SimTime now) {
    bool summary = (StatusByte(now) & stb::MSS) != 0;
    if (summary && !lastSummary_) rqs_ = true;
    if (!summary) rqs_ = false;
    lastSummary_ = summary;
}

std::uint8_t Session::SerialPoll(SimTime now) {
    UpdateServiceRequest(now);
    std::uint8_t value = static_cast<std::uint8_t>(StatusByte(now) & ~stb::MSS);
    if (rqs_) value |= stb::MSS;
    rqs_ = false;
    return value;
}

void Session::DeviceClear() {
    input_.clear();
    parts_.clear();
    output_.clear();
    bufferedBytes_ = 0;
    partsBytes_ = 0;
    path_.clear();
    waitUntil_ = 0;
    device_.CancelWatchers(id_);
}

} // namespace zep::instsim
