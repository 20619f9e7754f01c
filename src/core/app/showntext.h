// A line of text as a video shows it.
#pragma once

#include <cstddef>
#include <string>

namespace starlume {

// text with bad UTF-8 bytes replaced by U+FFFD, tabs and line ends made
// spaces and other controls dropped, and cut to at most most characters,
// the last of them an ellipsis.
std::string showntext(const std::string& text, std::size_t most);

} // namespace starlume
