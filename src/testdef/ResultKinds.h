// The vocabularies of command kinds and result kinds.
#pragma once

#include "testdef/TestModel.h"

#include <string_view>
#include <vector>

namespace zep {

// The nine command kinds, in code order (index 0 holds kind 1).
const std::vector<CommandKind>& StandardCommandKinds();

// Parses a result-kind field such as "IsdBm", "IsString__S" or "IsBinFile[trace.bin]".
ResultSpec ParseResultSpec(std::string_view text);

// The same, filling a freshly made spec in place (the loader's path, which makes many).
void ParseResultSpecInto(std::string_view text, ResultSpec& spec);

} // namespace zep
