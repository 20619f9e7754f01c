#include "platform/window/record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "core/app/exits.h"
#include "core/app/playlist.h"
#include "core/input/take.h"
#include "platform/files/soundfile.h"

namespace starlume {

namespace {

struct Recording {
    std::string path; // of the take, as given
    std::unique_ptr<Takewriter> take;
    std::string soundpath, soundname;
    std::unique_ptr<Flacwriter> sound;
    double nextflush = 0;
    bool said = false; // a failed write has been reported
} rec;

// The sound's file beside the take: its name with .flac for its extension.
std::string soundnameof(const std::string& take) {
    const std::string base = songname(take);
    const auto dot = base.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
    return stem + ".flac" == base ? base + ".flac" : stem + ".flac";
}

bool samefile(const char* a, const char* b) {
    struct stat x, y;
    return stat(a, &x) == 0 && stat(b, &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

void saywritefailed() {
    if (rec.said) return;
    rec.said = true;
    std::fprintf(stderr, "starlume: writing the take '%s' failed: %s\n", rec.path.c_str(),
                 std::strerror(errno));
}

} // namespace

int startrecording(const Args& args, bool sound) {
    if (args.record == nullptr) return 0;
    rec.path = args.record;
    for (const char* given : args.paths) {
        if (samefile(given, args.record)) {
            std::fprintf(stderr, "starlume: the take '%s' is the music file itself\n", args.record);
            return exitusage;
        }
    }
    std::FILE* f = std::fopen(args.record, "w");
    if (f == nullptr) {
        std::fprintf(stderr, "starlume: cannot create the take '%s': %s\n", args.record,
                     std::strerror(errno));
        return exitcantcreate;
    }
    rec.take = std::make_unique<Takewriter>(f);
    if (!sound) return 0;
    rec.soundname = soundnameof(rec.path);
    const auto slash = rec.path.rfind('/');
    rec.soundpath =
        (slash == std::string::npos ? "" : rec.path.substr(0, slash + 1)) + rec.soundname;
    std::string error;
    rec.sound = Flacwriter::create(rec.soundpath.c_str(), error);
    if (rec.sound == nullptr) {
        std::fprintf(stderr, "starlume: cannot create the sound file '%s': %s\n",
                     rec.soundpath.c_str(), error.c_str());
        rec.take.reset();
        std::remove(args.record); // nothing of the take is left
        return exitcantcreate;
    }
    return 0;
}

void recordheader(const Show& s, unsigned seed, const Args& args) {
    if (rec.take == nullptr) return;
    Take t;
    t.seed = seed;
    t.stars = s.world.order;
    t.keys = args.keys;
    t.sound = rec.soundname;
    rec.take->header(t);
}

void recordsong(const std::string& path, std::optional<double> seconds) {
    if (rec.take != nullptr) rec.take->song(songname(path), seconds);
}

void record(const Event& e) {
    if (rec.take != nullptr) rec.take->write(e);
}

Soundsink* recordedsound() { return rec.sound.get(); }

std::string recordedsoundname() { return rec.soundname; }

void recordflush(double nowms) {
    if (rec.take == nullptr || nowms < rec.nextflush) return;
    rec.nextflush = nowms + 1000;
    if (!rec.take->flush()) saywritefailed();
}

bool stoprecording() {
    bool ok = true;
    if (rec.take != nullptr) {
        if (!rec.take->close()) {
            saywritefailed();
            ok = false;
        }
        rec.take.reset();
    }
    if (rec.sound != nullptr) {
        std::string error;
        if (!rec.sound->close(error)) {
            std::fprintf(stderr, "starlume: writing the sound file '%s' failed: %s\n",
                         rec.soundpath.c_str(), error.c_str());
            ok = false;
        }
        rec.sound.reset();
    }
    return ok;
}

} // namespace starlume
