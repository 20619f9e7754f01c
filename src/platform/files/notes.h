// What the libraries print on stderr while a file is probed and opened. A
// file that is not what its name says makes some decoders print a note for
// every frame they try (libmpg123's "Note: Illegal Audio-MPEG-Header ..."),
// through SDL_mixer and libsndfile, which offer no way to hush them: they
// are held back here, to be dropped or summed up in one line.
#pragma once

#include <string>

namespace starlume {

class Heldnotes {
  public:
    // From now on stderr goes to a file of its own; when that cannot be
    // arranged it stays as it is.
    Heldnotes();
    ~Heldnotes() { release(); }
    Heldnotes(const Heldnotes&) = delete;
    Heldnotes& operator=(const Heldnotes&) = delete;

    // Gives stderr back; what was written to it meanwhile (once).
    std::string release();

  private:
    int saved = -1; // stderr's own descriptor, while held
};

// The notes held while path was opened, in one line for --verbose: the first
// of them and how many more; empty when there were none.
std::string notesline(const std::string& path, const std::string& notes);

} // namespace starlume
