// Start-up on the console: the file dialogue and the banner.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace starlume {

constexpr std::size_t pathcapacity = 4096; // characters of a path, PATH_MAX with its NUL

// Reads one whitespace-delimited token of at most capacity - 1 characters.
// Returns false at the end of input or when the token does not fit (the whole
// token is consumed either way).
bool readtoken(std::FILE* in, char* buf, std::size_t capacity);

// The path that a line typed at the prompt names, as people type or paste
// one: blanks at its ends trimmed, one pair of quotes around it ('...' or
// "...") removed, a leading "~/" taken from home when there is one.
std::string typedpath(std::string_view line, const char* home);

// The two lines that ask for the file.
void printprompt(std::FILE* out);

// Prints the prompt and reads the answer: the whole line, as typedpath reads
// it (home from $HOME). nullopt after reporting "Error opening file" on out
// and, on err when given, why, when the line names no path.
std::optional<std::string> askpath(std::FILE* in, std::FILE* out, std::FILE* err = nullptr);

// Prompts for the audio file and opens it for reading. A path given on the
// command line answers the prompt instead of the console; asked says that
// given is the console's answer already read by askpath (no second prompt).
// Returns the stream, or nullptr after reporting "Error opening file" on out
// and, on err when given, why.
std::FILE* openaudiofile(std::FILE* in, std::FILE* out, char (&path)[pathcapacity + 1],
                         const char* given = nullptr, std::FILE* err = nullptr, bool asked = false);

// Opens a music file for reading; a folder is no file. nullptr with errno
// set when it cannot be opened.
std::FILE* openmusic(const char* path);

// Whether path is a WAV or AIFF file whose format chunk claims no channels.
// The music library divides by that count unchecked, so such a file must
// not be handed to it.
bool nochannels(const char* path);

void printbanner(std::FILE* out);

} // namespace starlume
