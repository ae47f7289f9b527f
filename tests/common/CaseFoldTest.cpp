// Case folding for names written on Windows.
#include "common/CaseFold.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

TEST(CaseFold, FoldsTheLettersWindowsFoldsAndNothingElse) {
    struct {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"MyTest", "mytest", true},
        {"\xC3\x84\xC3\x96\xC3\x9C", "\xC3\xA4\xC3\xB6\xC3\xBC", true}, // umlauts
        {"\xC3\x80\xC3\x9E", "\xC3\xA0\xC3\xBE", true},                 // first and last Latin-1 capitals
        {"\xC3\x97", "\xC3\xB7", false},                                // multiplication and division signs
        {"\xC3\x9F", "ss", false},                                      // sharp s has no simple fold
        {"\xC5\xA0\xC5\x92\xC5\xBD\xC5\xB8", "\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF", true}, // Windows-1252 extras
        {"\xC4\xB9\xC4\xBD", "\xC4\xBA\xC4\xBE", true}, // Latin Extended-A, odd capitals
        {"\xC4\xB0", "i", false},                       // dotted capital I stays
        {"\xCE\x91\xCE\xA9", "\xCE\xB1\xCF\x89", true}, // Greek
        {"\xD0\x81\xD0\xAF", "\xD1\x91\xD1\x8F", true}, // Cyrillic
        {"\xFC", "\xC3\x9C", true},                     // Windows-1252 byte against UTF-8
        {"a", "b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EqualsFoldingCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

} // namespace
} // namespace zep
