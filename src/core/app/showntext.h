// Text as the program shows it: a video's line, and a name in a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace starlume {

// text with bad UTF-8 bytes replaced by U+FFFD, tabs and line ends made
// spaces and other controls dropped, and cut to at most most characters,
// the last of them an ellipsis.
std::string showntext(const std::string& text, std::size_t most);

// s between single quotes, as the messages name what they are about.
std::string quoted(std::string_view s);

} // namespace starlume
