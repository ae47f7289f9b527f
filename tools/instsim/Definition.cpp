// Definition and bench files: one "|"-separated line per property, command or fault.
#include "Definition.h"

#include "common/StringOp.h"
#include "common/TextFile.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zep::instsim {

std::string ErrorEntry::Format() const {
    return std::to_string(code) + ",\"" + text + "\"";
}

namespace {

std::string Trim(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t' || text[begin] == '\r'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::optional<long long> ParseInteger(std::string_view text) {
    std::string trimmed = Trim(text);
    long long value = 0;
    auto [ptr, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (ec != std::errc() || ptr != trimmed.data() + trimmed.size()) return std::nullopt;
    return value;
}

std::optional<double> ParsePlainDouble(std::string_view text) {
    std::string trimmed = Trim(text);
    if (trimmed.empty()) return std::nullopt;
    double value = 0;
    auto [ptr, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (ec != std::errc() || ptr != trimmed.data() + trimmed.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<ErrorEntry> ParseErrorField(std::string_view text) {
    std::string trimmed = Trim(text);
    std::size_t comma = trimmed.find(',');
    if (comma == std::string::npos) return std::nullopt;
    auto code = ParseInteger(std::string_view(trimmed).substr(0, comma));
    if (!code || *code == 0 || *code < -32768 || *code > 32767) return std::nullopt;
    std::string message = Trim(std::string_view(trimmed).substr(comma + 1));
    if (message.size() >= 2 && message.front() == '"' && message.back() == '"')
        message = message.substr(1, message.size() - 2);
    if (message.empty() || message.find('"') != std::string::npos) return std::nullopt;
    return ErrorEntry{static_cast<int>(*code), message};
}

std::optional<AnswerSpec> ParseAnswer(std::string_view text, std::string& error) {
    std::string trimmed = Trim(text);
    std::size_t space = trimmed.find(' ');
    std::string keyword = ToLowerAscii(trimmed.substr(0, space));
    std::string rest = space == std::string::npos ? std::string() : Trim(trimmed.substr(space + 1));
    AnswerSpec answer;
    if (keyword == "text") {
        answer.kind = AnswerSpec::Kind::Text;
        answer.text = rest;
        return answer;
    }
    if (keyword == "blocktext") {
        answer.kind = AnswerSpec::Kind::BlockText;
        answer.text = rest;
        return answer;
    }
    if (keyword == "block") {
        auto size = ParseInteger(rest);
        if (!size || *size < 0 || *size > 16 * 1024 * 1024) {
            error = "block answer needs a byte count from 0 to 16777216, not \"" + rest + "\"";
            return std::nullopt;
        }
        answer.kind = AnswerSpec::Kind::Block;
        answer.blockSize = static_cast<std::size_t>(*size);
        return answer;
    }
    if (keyword == "number" || keyword == "list") {
        std::istringstream words(rest);
        std::string valuesText, noiseText, extra;
        words >> valuesText >> noiseText >> extra;
        if (valuesText.empty() || !extra.empty()) {
            error = keyword + " answer needs values and an optional noise amplitude, not \"" + rest + "\"";
            return std::nullopt;
        }
        for (const std::string& item : SplitText(valuesText, ',')) {
            auto value = ParsePlainDouble(item);
            if (!value) {
                error = "\"" + item + "\" is not a number";
                return std::nullopt;
            }
            answer.values.push_back(*value);
        }
        if (keyword == "number" && answer.values.size() != 1) {
            error = "number answer takes one value; use list for several";
            return std::nullopt;
        }
        if (!noiseText.empty()) {
            auto noise = ParsePlainDouble(noiseText);
            if (!noise || *noise < 0) {
                error = "noise amplitude \"" + noiseText + "\" is not a number of 0 or more";
                return std::nullopt;
            }
            answer.noise = *noise;
        }
        answer.kind = keyword == "number" ? AnswerSpec::Kind::Number : AnswerSpec::Kind::List;
        return answer;
    }
    if (keyword == "measure") {
        std::istringstream words(rest);
        std::string offsetText, noiseText;
        words >> answer.sourceName >> offsetText >> noiseText;
        auto offset = ParsePlainDouble(offsetText.empty() ? "0" : offsetText);
        auto noise = ParsePlainDouble(noiseText.empty() ? "0" : noiseText);
        if (answer.sourceName.empty() || !offset || !noise || *noise < 0) {
            error = "measure answer needs a source instrument, an offset and a noise amplitude, not \"" +
                    rest + "\"";
            return std::nullopt;
        }
        answer.offset = *offset;
        answer.noise = *noise;
        answer.kind = AnswerSpec::Kind::Measure;
        return answer; // the tuning header, if any, is resolved by the caller
    }
    error = "answer must start with text, number, list, block, blocktext or measure, not \"" + trimmed + "\"";
    return std::nullopt;
}

std::optional<SimTime> ParseDuration(const std::vector<std::string>& fields, std::size_t index,
                                     std::string& error) {
    if (fields.size() <= index || fields[index].empty()) return SimTime{0};
    auto value = ParseInteger(fields[index]);
    if (!value || *value < 0 || *value > 86400000) {
        error = "duration \"" + fields[index] + "\" is not a number of milliseconds from 0 to 86400000";
        return std::nullopt;
    }
    return *value;
}

bool ParseCommandError(const std::vector<std::string>& fields, std::size_t index, CommandDef& command,
                       std::string& error) {
    if (fields.size() <= index || fields[index].empty()) return true;
    command.error = ParseErrorField(fields[index]);
    if (!command.error) {
        error = "error \"" + fields[index] + "\" is not of the form number,\"text\" (number not 0)";
        return false;
    }
    return true;
}

// The PARAM of the definition that a header names ("FREQ:CENT" finds [:SENSe]:FREQuency:CENTer).
std::optional<std::size_t> FindParam(const InstrumentDefinition& def, std::string_view header,
                                     std::string& error) {
    auto received = ParseReceivedHeader(header);
    if (received && received->common.empty()) {
        for (std::size_t i = 0; i < def.commands.size(); ++i)
            if (def.commands[i].kind == CommandDef::Kind::Param &&
                MatchNodes(def.commands[i].header, received->mnemonics))
                return i;
    }
    error = "\"" + std::string(header) + "\" names no PARAM defined above";
    return std::nullopt;
}

std::string MeasureTuningHeader(std::string_view answerField) {
    std::istringstream words{std::string(answerField)};
    std::string keyword, source, offset, noise, tuning;
    words >> keyword >> source >> offset >> noise >> tuning;
    return tuning;
}

} // namespace

std::optional<double> ParseScpiNumber(std::string_view text) {
    std::string trimmed = ToUpperAscii(Trim(text));
    if (trimmed == "ON") return 1.0;
    if (trimmed == "OFF") return 0.0;
    if (trimmed.empty()) return std::nullopt;
    std::size_t end = 0;
    while (end < trimmed.size() && (std::isdigit(static_cast<unsigned char>(trimmed[end])) ||
                                    trimmed[end] == '.' || trimmed[end] == '+' || trimmed[end] == '-' ||
                                    (trimmed[end] == 'E' && end + 1 < trimmed.size() &&
                                     (std::isdigit(static_cast<unsigned char>(trimmed[end + 1])) ||
                                      trimmed[end + 1] == '-' || trimmed[end + 1] == '+'))))
        ++end;
    auto number = ParsePlainDouble(
        std::string_view(trimmed).substr(trimmed[0] == '+' ? 1 : 0, end - (trimmed[0] == '+' ? 1 : 0)));
    if (!number) return std::nullopt;
    std::string suffix = Trim(std::string_view(trimmed).substr(end));
    if (suffix.empty()) return number;
    // Units with their multipliers as SCPI reads them ("MHZ" is mega, "MV" milli).
    static const struct {
        const char* unit;
        double factor;
    } units[] = {{"HZ", 1},    {"KHZ", 1e3}, {"MHZ", 1e6}, {"GHZ", 1e9}, {"DBM", 1},   {"DB", 1},
                 {"V", 1},     {"MV", 1e-3}, {"UV", 1e-6}, {"W", 1},     {"MW", 1e-3}, {"UW", 1e-6},
                 {"NW", 1e-9}, {"S", 1},     {"MS", 1e-3}, {"US", 1e-6}, {"NS", 1e-9}, {"PS", 1e-12},
                 {"A", 1},     {"MA", 1e-3}, {"UA", 1e-6}, {"DEG", 1},   {"PCT", 1},   {"K", 1e3},
                 {"G", 1e9},   {"T", 1e12},  {"U", 1e-6},  {"N", 1e-9}};
    for (const auto& unit : units)
        if (suffix == unit.unit) return *number * unit.factor;
    return std::nullopt;
}

std::optional<FaultSpec> ParseFault(std::string_view kind, std::string_view value, std::string_view header,
                                    std::string& error) {
    FaultSpec fault;
    std::string name = ToLowerAscii(Trim(kind));
    std::string valueText = Trim(value);
    std::string headerText = Trim(header);
    if (name == "drop-after") {
        fault.kind = FaultSpec::Kind::DropAfter;
    } else if (name == "stall") {
        fault.kind = FaultSpec::Kind::Stall;
    } else if (name == "garbage") {
        fault.kind = FaultSpec::Kind::Garbage;
    } else if (name == "never-complete") {
        fault.kind = FaultSpec::Kind::NeverComplete;
    } else {
        error = "unknown fault \"" + std::string(kind) + "\" (drop-after, stall, garbage, never-complete)";
        return std::nullopt;
    }
    bool takesValue = fault.kind == FaultSpec::Kind::DropAfter || fault.kind == FaultSpec::Kind::Stall;
    if (takesValue) {
        auto number = ParseInteger(valueText);
        if (!number || *number < 0 || *number > 86400000) {
            error = "fault " + name + " needs a number from 0 to 86400000, not \"" + valueText + "\"";
            return std::nullopt;
        }
        fault.value = *number;
    } else if (!valueText.empty()) {
        error = "fault " + name + " takes no value";
        return std::nullopt;
    }
    if (!headerText.empty()) {
        if (fault.kind == FaultSpec::Kind::DropAfter) {
            error = "fault drop-after applies to the whole connection and takes no header";
            return std::nullopt;
        }
        fault.header = CompileHeader(headerText, error);
        if (!fault.header) return std::nullopt;
    }
    return fault;
}

LoadResult ParseDefinition(std::string_view text, const std::string& source) {
    LoadResult result;
    InstrumentDefinition def;
    def.source = source;
    bool haveIdn = false;
    int lineNumber = 0;
    std::size_t pos = 0;
    auto fail = [&](const std::string& what) {
        result.error = source + ":" + std::to_string(lineNumber) + ": " + what;
        return result;
    };
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#' || line.rfind("//", 0) == 0) continue;
        std::vector<std::string> fields = SplitText(line, '|');
        for (std::string& field : fields)
            field = Trim(field);
        std::string kind = ToUpperAscii(fields[0]);
        std::string error;
        auto field = [&](std::size_t i) { return i < fields.size() ? fields[i] : std::string(); };
        if (kind == "IDN") {
            if (field(1).empty()) return fail("IDN needs the identification text");
            def.idn = field(1);
            haveIdn = true;
        } else if (kind == "OPT") {
            def.opt = field(1).empty() ? "0" : field(1);
        } else if (kind == "NAME") {
            std::string name = field(1);
            bool valid = !name.empty();
            for (char c : name)
                valid = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-');
            if (!valid) return fail("NAME needs a device name of letters, digits, '_' and '-'");
            def.name = name;
        } else if (kind == "PORT") {
            auto port = ParseInteger(field(1));
            if (!port || *port < 1 || *port > 65535) return fail("PORT needs a TCP port from 1 to 65535");
            def.port = static_cast<int>(*port);
        } else if (kind == "RESET") {
            auto duration = ParseDuration(fields, 1, error);
            if (!duration) return fail(error);
            def.resetMs = *duration;
        } else if (kind == "PARAM" || kind == "COMMAND" || kind == "QUERY") {
            CommandDef command;
            command.line = lineNumber;
            auto header = CompileHeader(field(1), error);
            if (!header) return fail(error);
            if (!header->common.empty())
                return fail("common commands (*...) are built in and cannot be defined");
            command.header = *header;
            std::size_t next = 2;
            if (kind == "PARAM") {
                if (header->query)
                    return fail("PARAM header takes no '?': it serves the setting and the query");
                command.kind = CommandDef::Kind::Param;
                command.defaultValue = field(2);
                // "default low..high" limits the values the setting accepts.
                std::size_t space = command.defaultValue.rfind(' ');
                std::size_t dots = command.defaultValue.find("..", space == std::string::npos ? 0 : space);
                if (space != std::string::npos && dots != std::string::npos) {
                    std::string rangeText = command.defaultValue.substr(space + 1);
                    auto low = ParsePlainDouble(
                        std::string_view(command.defaultValue).substr(space + 1, dots - space - 1));
                    auto high = ParsePlainDouble(std::string_view(command.defaultValue).substr(dots + 2));
                    command.defaultValue = Trim(command.defaultValue.substr(0, space));
                    auto value = ParseScpiNumber(command.defaultValue);
                    if (!low || !high || *low > *high)
                        return fail("range \"" + rangeText + "\" is not of the form low..high");
                    if (!value || *value < *low || *value > *high)
                        return fail("default \"" + command.defaultValue + "\" is not a number within " +
                                    rangeText);
                    command.range = std::make_pair(*low, *high);
                }
                next = 3;
            } else if (kind == "COMMAND") {
                if (header->query) return fail("COMMAND header takes no '?'; use QUERY for queries");
                command.kind = CommandDef::Kind::Command;
            } else {
                if (!header->query) return fail("QUERY header must end with '?'");
                command.kind = CommandDef::Kind::Query;
                auto answer = ParseAnswer(field(2), error);
                if (!answer) return fail(error);
                std::string tuning =
                    answer->kind == AnswerSpec::Kind::Measure ? MeasureTuningHeader(field(2)) : "";
                if (!tuning.empty()) {
                    answer->tuningParam = FindParam(def, tuning, error);
                    if (!answer->tuningParam) return fail(error);
                }
                command.answer = *answer;
                next = 3;
            }
            auto duration = ParseDuration(fields, next, error);
            if (!duration) return fail(error);
            command.durationMs = *duration;
            if (!ParseCommandError(fields, next + 1, command, error)) return fail(error);
            if (fields.size() > next + 2) return fail(kind + " line has too many fields");
            def.commands.push_back(std::move(command));
        } else if (kind == "FAULT") {
            std::string faultKind = ToLowerAscii(field(1));
            bool takesValue = faultKind == "drop-after" || faultKind == "stall";
            auto fault = takesValue ? ParseFault(faultKind, field(2), field(3), error)
                                    : ParseFault(faultKind, "", field(2), error);
            if (!fault) return fail(error);
            def.faults.push_back(*fault);
        } else if (kind == "SOURCE") {
            SourceSpec signal;
            auto frequency = FindParam(def, field(1), error);
            auto level = frequency ? FindParam(def, field(2), error) : std::nullopt;
            auto output = level ? FindParam(def, field(3), error) : std::nullopt;
            if (!output)
                return fail("SOURCE|frequency|level|output[|2nd harmonic dBc|3rd harmonic dBc]: " + error);
            signal.frequencyParam = *frequency;
            signal.levelParam = *level;
            signal.outputParam = *output;
            auto h2 = ParsePlainDouble(field(4).empty() ? "-40" : field(4));
            auto h3 = ParsePlainDouble(field(5).empty() ? "-50" : field(5));
            if (!h2 || !h3) return fail("SOURCE harmonic levels must be numbers of dBc");
            signal.harmonic2 = *h2;
            signal.harmonic3 = *h3;
            def.signal = signal;
        } else if (kind == "INSTRUMENT") {
            return fail("INSTRUMENT lines belong in a bench file, not in an instrument definition");
        } else {
            return fail("unknown line kind \"" + fields[0] +
                        "\" (IDN, OPT, NAME, PORT, RESET, PARAM, COMMAND, QUERY, SOURCE, FAULT)");
        }
    }
    if (!haveIdn) {
        lineNumber = 0;
        return fail("the definition has no IDN line");
    }
    result.instruments.push_back(std::move(def));
    return result;
}

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool IsBenchText(std::string_view text) {
    std::istringstream lines{std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#' || trimmed.rfind("//", 0) == 0) continue;
        return ToUpperAscii(trimmed.substr(0, trimmed.find('|'))) == "INSTRUMENT";
    }
    return false;
}

} // namespace

LoadResult LoadConfig(const std::string& path) {
    LoadResult result;
    auto text = ReadWholeFile(path);
    if (!text) {
        result.error = path + ": cannot read the file";
        return result;
    }
    if (!IsBenchText(*text)) return ParseDefinition(*text, path);
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    int lineNumber = 0;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#' || trimmed.rfind("//", 0) == 0) continue;
        std::vector<std::string> fields = SplitText(trimmed, '|');
        for (std::string& field : fields)
            field = Trim(field);
        std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (ToUpperAscii(fields[0]) != "INSTRUMENT" || fields.size() < 2 || fields[1].empty() ||
            fields.size() > 4) {
            result.error = where + "a bench file holds only INSTRUMENT|definition file[|name[|port]] lines";
            return result;
        }
        std::filesystem::path file = fields[1];
        if (file.is_relative()) file = folder / file;
        auto text2 = ReadWholeFile(file.string());
        if (!text2) {
            result.error = where + "cannot read the definition file " + file.string();
            return result;
        }
        LoadResult one = ParseDefinition(*text2, file.string());
        if (!one.error.empty()) {
            result.error = one.error;
            return result;
        }
        InstrumentDefinition def = std::move(one.instruments.front());
        if (fields.size() > 2 && !fields[2].empty()) def.name = fields[2];
        if (fields.size() > 3 && !fields[3].empty()) {
            auto port = ParseInteger(fields[3]);
            if (!port || *port < 1 || *port > 65535) {
                result.error = where + "port \"" + fields[3] + "\" is not from 1 to 65535";
                return result;
            }
            def.port = static_cast<int>(*port);
        }
        result.instruments.push_back(std::move(def));
    }
    if (result.instruments.empty()) result.error = path + ": the bench file names no instrument";
    return result;
}

InstrumentDefinition GenericInstrument() {
    static const char* const text = "IDN|ZEP,INSTSIM,000000,0.1\n"
                                    "PARAM|[:SOURce]:FREQuency[:CW]|1000000000\n"
                                    "PARAM|[:SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]|-10\n"
                                    "PARAM|:OUTPut[:STATe]|0\n"
                                    "COMMAND|:INITiate[:IMMediate]|100\n"
                                    "QUERY|:READ?|number -10 0.01|20\n"
                                    "QUERY|[:SENSe]:DATA?|block 64\n";
    LoadResult result = ParseDefinition(text, "built-in instrument");
    return result.instruments.front();
}

} // namespace zep::instsim
