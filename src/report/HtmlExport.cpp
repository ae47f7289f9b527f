// The report as an HTML page.
#include "report/HtmlExport.h"

#include "common/Utf8.h"
#include "report/RTFGen.h"

#include <cstdio>

namespace zep {

namespace {

std::string CssColour(int32_t bgr) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    return buffer;
}

void AppendSpan(std::string& out, const ReportGroup& g) {
    if (g.text.empty()) return;
    std::string style;
    const int colour = RtfColourIndex(g.textColour);
    if (colour > 1) style += "color:" + CssColour(RtfTableColour(colour)) + ";";
    if (const int highlight = RtfColourIndex(g.highlight); g.highlight >= 0 && highlight > 0)
        style += "background-color:" + CssColour(RtfTableColour(highlight)) + ";";
    if (g.bold) style += "font-weight:bold;";
    if (g.italic) style += "font-style:italic;";
    if (g.underline) style += "text-decoration:underline;";
    if (style.empty()) {
        out += "<span>";
    } else {
        out += "<span style=\"";
        out += style;
        out += "\">";
    }
    AppendHtmlEscaped(out, g.text);
    out += "</span>";
}

void AppendParagraph(std::string& out, std::span<const ReportGroup> line, int32_t alignment) {
    switch (alignment) {
    case Alignment::Right:
        out += "<p style=\"text-align:right\">";
        break;
    case Alignment::Centre:
        out += "<p style=\"text-align:center\">";
        break;
    default:
        out += "<p>";
        break;
    }
    bool anyText = false;
    for (const auto& g : line) {
        anyText = anyText || !g.text.empty();
        AppendSpan(out, g);
    }
    // An empty paragraph keeps its height as an empty RTF paragraph does.
    if (!anyText) out += "<br>";
    out += "</p>\n";
}

} // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') break;
            out += "<br>";
            break;
        case '\n':
            out += "<br>";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x80) {
                // Stray bytes become their Windows-1252 characters, so the page stays UTF-8.
                utf8::Append(out, utf8::Next(text, i));
                continue;
            }
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                out += "&#xFFFD;";
            else
                out += c;
            break;
        }
        ++i;
    }
}

std::string ReportToHtml(std::span<const ReportGroup> groups, std::string_view title) {
    std::string out = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    AppendHtmlEscaped(out, title);
    out += "</title>\n<style>\nbody { font-family: 'Lucida Console', monospace; font-size: 10pt; color: "
           "#000000; "
           "background: #FFFFFF; }\np { margin: 0; white-space: pre-wrap; }\n</style>\n</head>\n<body>\n";
    size_t start = 0;
    for (size_t i = 0; i < groups.size(); ++i) {
        if (!groups[i].newLine) continue;
        AppendParagraph(out, groups.subspan(start, i + 1 - start), groups[i].alignment);
        start = i + 1;
    }
    // An open last line ends with the document, outside every group: left aligned.
    bool openText = false;
    for (size_t i = start; i < groups.size(); ++i)
        openText = openText || !groups[i].text.empty();
    if (openText) AppendParagraph(out, groups.subspan(start), Alignment::Left);
    out += "</body>\n</html>\n";
    return out;
}

} // namespace zep
