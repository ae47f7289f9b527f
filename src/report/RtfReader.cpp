// A tolerant reader for the common subset of RTF.
#include "report/RtfReader.h"

#include "common/TextFile.h"
#include "common/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zep {

namespace {

constexpr size_t kMaxDepth = 200;
constexpr size_t kMaxWordLength = 32;

struct State {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int colour = 0;    // colour table index, 0 = automatic
    int highlight = 0; // colour table index, 0 = none
    int alignment = Alignment::Left;
    int unicodeSkip = 1;
    bool skip = false;        // inside a destination that shows nothing
    bool colourTable = false; // inside the colour table
};

constexpr std::array<std::string_view, 30> kSkippedDestinations = {"fonttbl",
                                                                   "stylesheet",
                                                                   "info",
                                                                   "pict",
                                                                   "object",
                                                                   "header",
                                                                   "headerl",
                                                                   "headerr",
                                                                   "headerf",
                                                                   "footer",
                                                                   "footerl",
                                                                   "footerr",
                                                                   "footerf",
                                                                   "footnote",
                                                                   "annotation",
                                                                   "listtable",
                                                                   "listoverridetable",
                                                                   "revtbl",
                                                                   "rsidtbl",
                                                                   "filetbl",
                                                                   "generator",
                                                                   "xmlnstbl",
                                                                   "themedata",
                                                                   "colorschememapping",
                                                                   "latentstyles",
                                                                   "datastore",
                                                                   "fldinst",
                                                                   "private",
                                                                   "pgdsctbl",
                                                                   "nonshppict"};

bool IsSkippedDestination(std::string_view word) {
    return std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) !=
           kSkippedDestinations.end();
}

class Reader {
  public:
    explicit Reader(std::string_view bytes) : in_(bytes), rawUtf8_(utf8::IsValid(bytes)) {}

    std::vector<ReportGroup> Read() {
        stack_.push_back(State{});
        while (pos_ < in_.size())
            Step();
        EndParagraph(false);
        return std::move(groups_);
    }

  private:
    State& Current() { return stack_.back(); }

    void Step() {
        const char c = in_[pos_];
        if (c == '{') {
            ++pos_;
            OpenGroup();
        } else if (c == '}') {
            ++pos_;
            CloseGroup();
        } else if (c == '\\') {
            ++pos_;
            ControlSymbolOrWord();
        } else if (c == '\r' || c == '\n') {
            ++pos_;
        } else {
            ++pos_;
            if (pendingSkip_ > 0) {
                --pendingSkip_;
                return;
            }
            if (Current().colourTable) {
                if (c == ';') EndColourEntry();
                return;
            }
            if (Current().skip) return;
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x80 && rawUtf8_) {
                // A valid UTF-8 file keeps its sequences together: take the whole character.
                size_t i = pos_ - 1;
                Text(utf8::Next(in_, i));
                pos_ = i;
            } else {
                Text(utf8::FromWindows1252(byte));
            }
        }
    }

    void OpenGroup() {
        pendingSkip_ = 0;
        if (stack_.size() >= kMaxDepth) {
            ++overflow_;
            return;
        }
        stack_.push_back(Current());
        destinationStart_ = true;
    }

    void CloseGroup() {
        pendingSkip_ = 0;
        destinationStart_ = false;
        if (overflow_ > 0) {
            --overflow_;
            return;
        }
        if (stack_.size() <= 1) return;
        if (Current().colourTable && !colourEntryEmpty_) EndColourEntry();
        FlushRun();
        stack_.pop_back();
    }

    void ControlSymbolOrWord() {
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        const bool atStart = destinationStart_;
        destinationStart_ = false;
        if (!IsLetter(c)) {
            ++pos_;
            ControlSymbol(c, atStart);
            return;
        }
        const size_t start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_]) && pos_ - start < kMaxWordLength)
            ++pos_;
        const std::string_view word = in_.substr(start, pos_ - start);
        while (pos_ < in_.size() && IsLetter(in_[pos_]))
            ++pos_; // an over-long word is dropped whole
        bool hasParameter = false;
        long parameter = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            hasParameter = true;
            if (parameter < 100000000) parameter = parameter * 10 + (in_[pos_] - '0');
            ++pos_;
        }
        if (negative) parameter = -parameter;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        ControlWord(word, hasParameter, parameter, atStart);
    }

    void ControlSymbol(char c, bool atStart) {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            Literal(static_cast<unsigned char>(c));
            break;
        case '\'':
            Hex();
            break;
        case '*':
            if (atStart) Current().skip = true;
            break;
        case '~':
            Literal(0xA0);
            break;
        case '_':
            Literal('-');
            break;
        case '\r':
        case '\n':
            Paragraph();
            break; // "\" before a line end is a paragraph end
        default:
            break; // "\-" optional hyphen, "\:" index marks and the like
        }
    }

    void Hex() {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos_ < in_.size() && IsHexDigit(in_[pos_])) {
            value = value * 16 + HexValue(in_[pos_]);
            ++pos_;
            ++digits;
        }
        if (digits == 0) return;
        Literal(utf8::FromWindows1252(static_cast<unsigned char>(value)));
    }

    void ControlWord(std::string_view word, bool hasParameter, long parameter, bool atStart) {
        State& s = Current();
        if (word == "bin") {
            // Binary data: skip its bytes, however many the parameter claims up to the end.
            const size_t count = parameter > 0 ? static_cast<size_t>(parameter) : 0;
            pos_ += std::min(count, in_.size() - pos_);
            return;
        }
        if (atStart && (IsSkippedDestination(word))) {
            s.skip = true;
            return;
        }
        if (word == "colortbl") {
            s.colourTable = true;
            s.skip = true;
            colours_.clear();
            colourEntryEmpty_ = true;
            current_ = 0;
            return;
        }
        if (s.colourTable) {
            const int value = static_cast<int>(std::clamp(parameter, 0L, 255L));
            if (word == "red")
                current_ = (current_ & 0xFFFF00) | value, colourEntryEmpty_ = false;
            else if (word == "green")
                current_ = (current_ & 0xFF00FF) | (value << 8), colourEntryEmpty_ = false;
            else if (word == "blue")
                current_ = (current_ & 0x00FFFF) | (value << 16), colourEntryEmpty_ = false;
            return;
        }
        if (pendingSkip_ > 0) {
            // A control word stands in for one character of a Unicode fallback.
            --pendingSkip_;
            return;
        }
        if (s.skip) return;
        const bool on = !hasParameter || parameter != 0;
        if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row")
            Paragraph();
        else if (word == "tab" || word == "cell")
            Literal('\t');
        else if (word == "u")
            Unicode(parameter);
        else if (word == "uc")
            s.unicodeSkip = static_cast<int>(std::clamp(parameter, 0L, 10L));
        else if (word == "b")
            Style(s.bold, on);
        else if (word == "i")
            Style(s.italic, on);
        else if (word == "ul")
            Style(s.underline, on);
        else if (word == "ulnone")
            Style(s.underline, false);
        else if (word == "cf")
            SetIndex(s.colour, hasParameter ? parameter : 0);
        else if (word == "highlight" || word == "cb")
            SetIndex(s.highlight, hasParameter ? parameter : 0);
        else if (word == "plain")
            Plain();
        else if (word == "pard")
            SetAlignment(Alignment::Left);
        else if (word == "ql" || word == "qj" || word == "qd")
            SetAlignment(Alignment::Left);
        else if (word == "qr")
            SetAlignment(Alignment::Right);
        else if (word == "qc")
            SetAlignment(Alignment::Centre);
        else if (word == "emdash")
            Literal(0x2014);
        else if (word == "endash")
            Literal(0x2013);
        else if (word == "bullet")
            Literal(0x2022);
        else if (word == "lquote")
            Literal(0x2018);
        else if (word == "rquote")
            Literal(0x2019);
        else if (word == "ldblquote")
            Literal(0x201C);
        else if (word == "rdblquote")
            Literal(0x201D);
        else if (word == "emspace" || word == "enspace" || word == "qmspace")
            Literal(' ');
    }

    void Unicode(long value) {
        if (value < 0) value += 65536;
        if (value < 0 || value > 0xFFFF) value = 0xFFFD;
        const auto unit = static_cast<uint32_t>(value);
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate_ = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (highSurrogate_ != 0)
                Literal(0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
            else
                Literal(0xFFFD);
            highSurrogate_ = 0;
        } else {
            Literal(unit);
        }
        pendingSkip_ = Current().unicodeSkip;
    }

    void Literal(uint32_t code) {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (Current().skip) return;
        Text(code);
    }

    void Text(uint32_t code) {
        if (highSurrogate_ != 0 && !(code >= 0x10000)) {
            // A high surrogate without its partner.
            highSurrogate_ = 0;
            AddCharacter(0xFFFD);
        }
        highSurrogate_ = 0;
        AddCharacter(code);
    }

    void AddCharacter(uint32_t code) {
        // NUL, and line ends written as hex escapes, are no text: paragraphs end only by control words.
        if (code == 0 || code == '\r' || code == '\n') return;
        if (!runOpen_) {
            runOpen_ = true;
            runState_ = Current();
        }
        utf8::Append(run_, code);
    }

    void Style(bool& flag, bool on) {
        if (flag == on) return;
        FlushRun();
        flag = on;
    }

    void SetIndex(int& index, long value) {
        const int clamped = static_cast<int>(std::clamp(value, 0L, 10000L));
        if (index == clamped) return;
        FlushRun();
        index = clamped;
    }

    void Plain() {
        FlushRun();
        State& s = Current();
        s.bold = s.italic = s.underline = false;
        s.colour = s.highlight = 0;
    }

    void SetAlignment(int alignment) { Current().alignment = alignment; }

    void EndColourEntry() {
        colours_.push_back(colourEntryEmpty_ ? -1 : current_);
        current_ = 0;
        colourEntryEmpty_ = true;
    }

    int32_t ColourAt(int index, int32_t fallback) const {
        if (index <= 0 || static_cast<size_t>(index) >= colours_.size()) return fallback;
        const int32_t value = colours_[static_cast<size_t>(index)];
        return value < 0 ? fallback : value;
    }

    void FlushRun() {
        if (!runOpen_) return;
        runOpen_ = false;
        ReportGroup group;
        group.text = std::move(run_);
        run_.clear();
        group.bold = runState_.bold;
        group.italic = runState_.italic;
        group.underline = runState_.underline;
        group.textColour = ColourAt(runState_.colour, Colour::Black);
        group.highlight = ColourAt(runState_.highlight, Colour::NoHighlight);
        paragraph_.push_back(std::move(group));
    }

    void Paragraph() {
        if (pendingSkip_ > 0) {
            --pendingSkip_;
            return;
        }
        if (Current().skip) return;
        EndParagraph(true);
    }

    // A paragraph's alignment is the one in force at its end.
    void EndParagraph(bool newLine) {
        FlushRun();
        if (newLine && paragraph_.empty()) {
            ReportGroup empty;
            empty.bold = Current().bold;
            empty.italic = Current().italic;
            empty.underline = Current().underline;
            empty.textColour = ColourAt(Current().colour, Colour::Black);
            empty.highlight = ColourAt(Current().highlight, Colour::NoHighlight);
            paragraph_.push_back(std::move(empty));
        }
        if (paragraph_.empty()) return;
        for (auto& group : paragraph_)
            group.alignment = Current().alignment;
        paragraph_.back().newLine = newLine;
        for (auto& group : paragraph_)
            groups_.push_back(std::move(group));
        paragraph_.clear();
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
    static int HexValue(char c) {
        if (IsDigit(c)) return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return c - 'A' + 10;
    }

    std::string_view in_;
    bool rawUtf8_;
    size_t pos_ = 0;
    std::vector<State> stack_;
    size_t overflow_ = 0;
    bool destinationStart_ = false;
    int pendingSkip_ = 0;
    uint32_t highSurrogate_ = 0;
    std::vector<int32_t> colours_;
    int32_t current_ = 0;
    bool colourEntryEmpty_ = true;
    bool runOpen_ = false;
    std::string run_;
    State runState_;
    std::vector<ReportGroup> paragraph_;
    std::vector<ReportGroup> groups_;
};

} // namespace

bool LooksLikeRtf(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    while (!bytes.empty() &&
           (bytes.front() == ' ' || bytes.front() == '\t' || bytes.front() == '\r' || bytes.front() == '\n'))
        bytes.remove_prefix(1);
    return bytes.substr(0, 5) == "{\\rtf";
}

std::vector<ReportGroup> ReadRtf(std::string_view bytes) {
    return Reader(bytes).Read();
}

} // namespace zep
