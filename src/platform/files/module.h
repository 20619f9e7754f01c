// Tracker modules (MOD, XM, S3M, IT and the many others libopenmpt reads),
// rendered by libopenmpt in stereo at 44100 Hz: the other decoder behind
// Decoder::open.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/files/decoder.h"

namespace starlume {

// nullptr when the bytes hold no module that libopenmpt reads. The bytes
// may go once it returns.
std::unique_ptr<Decoder> openmodule(const unsigned char* data, std::size_t size, Repeat repeat);

// The same for the plain file at path; of a file that is no module, only
// the head is read.
std::unique_ptr<Decoder> openmodule(const char* path, Repeat repeat);

} // namespace starlume
