// SCPI header patterns ("[:SOURce]:FREQuency[:CW]") and the matching of received headers against them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zep::instsim {

struct HeaderNode {
    std::string shortForm; // upper-case part of the mnemonic, e.g. "FREQ"
    std::string longForm;  // whole mnemonic upper-cased, e.g. "FREQUENCY"
    bool optional = false;
};

struct HeaderPattern {
    std::string text;   // as written in the definition
    std::string common; // "*IDN" for common commands, else empty
    std::vector<HeaderNode> nodes;
    bool query = false; // the pattern ends with '?'
};

// A header as received: mnemonics upper-cased, numeric suffixes kept.
struct ReceivedHeader {
    std::string common;                 // "*IDN" for a common command
    std::vector<std::string> mnemonics; // "SOUR", "FREQ"
    bool absolute = false;              // started with ':'
    bool query = false;
};

// Compiles a pattern; on a malformed pattern returns nothing and sets error.
std::optional<HeaderPattern> CompileHeader(std::string_view text, std::string& error);

// Splits a received header token ("*IDN?", ":SOUR:FREQ?", "pow"); nothing when it is not a header.
std::optional<ReceivedHeader> ParseReceivedHeader(std::string_view token);

// True when the mnemonics match the pattern's nodes (short or long form, optional nodes skippable,
// a numeric suffix on a received mnemonic ignored). The query flag is not compared here.
bool MatchNodes(const HeaderPattern& pattern, std::span<const std::string> mnemonics);

} // namespace zep::instsim
