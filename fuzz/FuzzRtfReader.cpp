// Fuzzes the RTF reader of message files: any bytes must read without a fault, give valid UTF-8,
// and what the report writes from the result must read back to the same text.
#include "common/TextFile.h"
#include "common/Utf8.h"
#include "report/RTFGen.h"
#include "report/RtfReader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string Plain(const std::vector<zep::ReportGroup>& groups) {
    std::string text;
    for (const auto& g : groups) {
        text += g.text;
        if (g.newLine) text += '\n';
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)zep::LooksLikeRtf(bytes);
    const auto groups = zep::ReadRtf(bytes);
    for (const auto& g : groups)
        if (!zep::utf8::IsValid(g.text)) std::abort();

    zep::RTFGen rtf;
    for (const auto& g : groups)
        rtf.RtfAppend(g.text, g.newLine, g.bold, g.italic, g.underline, g.textColour, g.alignment,
                      g.highlight);
    if (Plain(zep::ReadRtf(rtf.Document())) != Plain(groups)) std::abort();
    return 0;
}
