// The program's exit statuses, for every run (the larger ones as sysexits.h
// numbers them).
#pragma once

namespace starlume {

constexpr int exitok = 0;
constexpr int exitnofile = 1;       // FILE or a device cannot be opened, or holds no sound
constexpr int exitnoaudio = 2;      // the audio device cannot be opened
constexpr int exitusage = 64;       // a command line that cannot be understood
constexpr int exittake = 65;        // a take that cannot be read
constexpr int exitunavailable = 69; // no encoder, no GL context
constexpr int exitcantcreate = 73;  // a video's file or a take cannot be created
constexpr int exitioerror = 74;     // writing it failed

} // namespace starlume
