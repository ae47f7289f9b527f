// SCPI header patterns and matching: short and long forms, optional nodes, case-insensitive.
#include "ScpiHeader.h"

#include <cctype>

namespace zep::instsim {

namespace {

bool IsMnemonicChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

HeaderNode MakeNode(std::string_view mnemonic, bool optional) {
    HeaderNode node;
    node.longForm = Upper(mnemonic);
    for (char c : mnemonic) {
        if (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
            c == '_')
            node.shortForm += c;
    }
    // A mnemonic written all in lower case has no short form of its own.
    if (node.shortForm.empty()) node.shortForm = node.longForm;
    node.optional = optional;
    return node;
}

bool NodeMatches(const HeaderNode& node, std::string_view mnemonic) {
    if (mnemonic == node.shortForm || mnemonic == node.longForm) return true;
    std::size_t end = mnemonic.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(mnemonic[end - 1])))
        --end;
    if (end == mnemonic.size() || end == 0) return false;
    std::string_view stem = mnemonic.substr(0, end);
    return stem == node.shortForm || stem == node.longForm;
}

bool MatchFrom(const std::vector<HeaderNode>& nodes, std::size_t nodeIndex, std::span<const std::string> in,
               std::size_t inIndex) {
    if (nodeIndex == nodes.size()) return inIndex == in.size();
    const HeaderNode& node = nodes[nodeIndex];
    if (inIndex < in.size() && NodeMatches(node, in[inIndex]) &&
        MatchFrom(nodes, nodeIndex + 1, in, inIndex + 1))
        return true;
    return node.optional && MatchFrom(nodes, nodeIndex + 1, in, inIndex);
}

} // namespace

std::optional<HeaderPattern> CompileHeader(std::string_view text, std::string& error) {
    HeaderPattern pattern;
    pattern.text = std::string(text);
    std::string_view rest = text;
    if (!rest.empty() && rest.back() == '?') {
        pattern.query = true;
        rest.remove_suffix(1);
    }
    if (rest.empty()) {
        error = "empty header";
        return std::nullopt;
    }
    if (rest.front() == '*') {
        std::string_view name = rest.substr(1);
        if (name.empty()) {
            error = "common header without a name";
            return std::nullopt;
        }
        for (char c : name) {
            if (!IsMnemonicChar(c)) {
                error = "invalid character '" + std::string(1, c) + "' in header " + std::string(text);
                return std::nullopt;
            }
        }
        pattern.common = "*" + Upper(name);
        return pattern;
    }
    bool inOptional = false;
    std::size_t pos = 0;
    while (pos < rest.size()) {
        char c = rest[pos];
        if (c == '[') {
            if (inOptional) {
                error = "nested '[' in header " + std::string(text);
                return std::nullopt;
            }
            inOptional = true;
            ++pos;
        } else if (c == ']') {
            if (!inOptional) {
                error = "']' without '[' in header " + std::string(text);
                return std::nullopt;
            }
            inOptional = false;
            ++pos;
        } else if (c == ':') {
            ++pos;
        } else if (IsMnemonicChar(c)) {
            std::size_t end = pos;
            while (end < rest.size() && IsMnemonicChar(rest[end]))
                ++end;
            pattern.nodes.push_back(MakeNode(rest.substr(pos, end - pos), inOptional));
            pos = end;
        } else {
            error = "invalid character '" + std::string(1, c) + "' in header " + std::string(text);
            return std::nullopt;
        }
    }
    if (inOptional) {
        error = "'[' without ']' in header " + std::string(text);
        return std::nullopt;
    }
    bool anyRequired = false;
    for (const HeaderNode& node : pattern.nodes)
        anyRequired = anyRequired || !node.optional;
    if (!anyRequired) {
        error = "header " + std::string(text) + " has no required node";
        return std::nullopt;
    }
    return pattern;
}

std::optional<ReceivedHeader> ParseReceivedHeader(std::string_view token) {
    ReceivedHeader header;
    if (!token.empty() && token.back() == '?') {
        header.query = true;
        token.remove_suffix(1);
    }
    if (token.empty()) return std::nullopt;
    if (token.front() == '*') {
        std::string_view name = token.substr(1);
        if (name.empty()) return std::nullopt;
        for (char c : name)
            if (!IsMnemonicChar(c)) return std::nullopt;
        header.common = "*" + Upper(name);
        return header;
    }
    if (token.front() == ':') {
        header.absolute = true;
        token.remove_prefix(1);
    }
    std::size_t pos = 0;
    while (pos <= token.size()) {
        std::size_t end = token.find(':', pos);
        if (end == std::string_view::npos) end = token.size();
        std::string_view mnemonic = token.substr(pos, end - pos);
        if (mnemonic.empty()) return std::nullopt;
        for (char c : mnemonic)
            if (!IsMnemonicChar(c)) return std::nullopt;
        header.mnemonics.push_back(Upper(mnemonic));
        pos = end + 1;
    }
    return header;
}

bool MatchNodes(const HeaderPattern& pattern, std::span<const std::string> mnemonics) {
    if (!pattern.common.empty()) return false;
    return MatchFrom(pattern.nodes, 0, mnemonics, 0);
}

} // namespace zep::instsim
