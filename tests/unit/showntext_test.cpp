#include "core/app/showntext.h"

#include <gtest/gtest.h>

#include <string>

using starlume::showntext;

TEST(Showntext, MendsCleansAndCuts) {
    const std::string bad = "\xef\xbf\xbd"; // U+FFFD
    const struct {
        std::string text;
        std::size_t most;
        std::string shown;
    } cases[] = {
        {"Zoë – Ελληνικά Кириллица", 100, "Zoë – Ελληνικά Кириллица"},
        {"a\xff"
         "b",
         10, "a" + bad + "b"},
        {"\xc3", 10, bad},                               // cut short
        {"\xc0\xaf", 10, bad + bad},                     // overlong '/'
        {"\xed\xa0\x80", 10, bad + bad + bad},           // a surrogate
        {"\xf4\x90\x80\x80", 10, bad + bad + bad + bad}, // past U+10FFFF
        {"one\ttwo\nthree\x01\x7f", 20, "one two three"},
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "abcde…"},
        {"ΩΩΩΩ", 3, "ΩΩ…"}, // cut between characters, never inside one
        {"abc", 0, "…"},
    };
    for (const auto& c : cases) EXPECT_EQ(showntext(c.text, c.most), c.shown) << c.text;
}
