// The definition of one simulated instrument and the loader of definition and bench files.
#pragma once

#include "ScpiHeader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep::instsim {

using SimTime = std::int64_t; // milliseconds on the server's clock
inline constexpr SimTime Never = INT64_MAX;

struct ErrorEntry {
    int code = 0;
    std::string text;
    std::string Format() const; // -113,"Undefined header"
};

struct AnswerSpec {
    enum class Kind { Text, Number, List, Block, BlockText, Measure };
    Kind kind = Kind::Text;
    std::string text;                       // Text, BlockText
    std::vector<double> values;             // Number (one), List
    double noise = 0;                       // uniform noise in [-noise, +noise] added to each number
    std::size_t blockSize = 0;              // Block: bytes 0,1,...,255,0,... of that count
    std::string sourceName;                 // Measure: the instrument whose signal is measured
    double offset = 0;                      // Measure: added to the signal level (cable loss, sensor error)
    std::optional<std::size_t> tuningParam; // Measure: PARAM holding the frequency this receiver is tuned to
};

// An instrument that emits a signal other instruments measure: the PARAMs holding its frequency, level
// and output state, and the level of its second and third harmonic relative to the carrier.
struct SourceSpec {
    std::size_t frequencyParam = 0;
    std::size_t levelParam = 0;
    std::size_t outputParam = 0;
    double harmonic2 = -40;
    double harmonic3 = -50;
};

struct CommandDef {
    enum class Kind { Param, Command, Query };
    Kind kind = Kind::Command;
    HeaderPattern header;
    std::string defaultValue;                       // Param
    std::optional<std::pair<double, double>> range; // Param: numeric values it accepts
    AnswerSpec answer;                              // Query
    SimTime durationMs = 0; // Param/Command: until the operation completes; Query: until the answer is ready
    std::optional<ErrorEntry> error; // queued every time the command runs
    int line = 0;
};

struct FaultSpec {
    enum class Kind { DropAfter, Stall, Garbage, NeverComplete };
    Kind kind = Kind::DropAfter;
    long long value = 0;                 // DropAfter: messages; Stall: milliseconds
    std::optional<HeaderPattern> header; // Stall, Garbage, NeverComplete: only commands matching it
};

struct InstrumentDefinition {
    std::string name; // device name on VXI-11, also used in log lines
    std::string idn;
    std::string opt = "0";
    int port = 0;        // raw-socket port; 0: chosen by the server
    SimTime resetMs = 0; // how long *RST takes
    std::vector<CommandDef> commands;
    std::vector<FaultSpec> faults;
    std::optional<SourceSpec> signal;
    std::string source; // file the definition came from
};

struct LoadResult {
    std::vector<InstrumentDefinition> instruments;
    std::string error; // "file:line: what is wrong"; empty on success
};

// Parses the text of one instrument definition; source names it in error messages.
LoadResult ParseDefinition(std::string_view text, const std::string& source);

// Loads a definition file, or a bench file (INSTRUMENT lines naming definition files relative to it).
LoadResult LoadConfig(const std::string& path);

// The generic SCPI instrument served without a configuration.
InstrumentDefinition GenericInstrument();

// Parses a fault given on the command line or in a definition: kind, value, optional header.
std::optional<FaultSpec> ParseFault(std::string_view kind, std::string_view value, std::string_view header,
                                    std::string& error);

// Reads a SCPI numeric value with an optional multiplier and unit ("1GHz", "-10 dBm", "5e-3", "ON").
std::optional<double> ParseScpiNumber(std::string_view text);

} // namespace zep::instsim
