#include "platform/window/filerun.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <SDL2/SDL.h>
#include <sys/stat.h>

#include "core/app/evening.h"
#include "core/app/exits.h"
#include "core/app/header.h"
#include "core/app/playlist.h"
#include "core/app/startup.h"
#include "core/audio/convert.h"
#include "core/audio/tap.h"
#include "core/clock/heard.h"
#include "core/clock/videoclock.h"
#include "core/clock/wallclock.h"
#include "platform/files/decoder.h"
#include "platform/files/notes.h"
#include "platform/files/resampler.h"
#include "platform/sound/player.h"
#include "platform/window/record.h"
#include "platform/window/stage.h"

namespace starlume {

namespace {

// The player's own output, for what only the player plays; nullptr when it
// does not play or mixes a format the analysis cannot take.
std::unique_ptr<Source> played(Sdlplayer& player, Tapring& ring, bool plays) {
    const Soundformat mixer = player.format();
    if (!plays || !mixer.usable()) return nullptr;
    return std::make_unique<Tap>(ring, mixer,
                                 mixer.rate != analysisrate ? makeresampler(mixer.rate) : nullptr);
}

// One song or an evening of them in the window: each song's header report,
// its music played and analysed in step with what is heard, the song the
// list's state names when a song ends or a song key is pressed.
class Jukebox final : public Stillclock {
  public:
    Jukebox(const Args& args, Evening evening, bool asked)
        : args(args), list(std::move(evening)), many(list.songs.size() > 1), asked(asked),
          heard(player, wall, args.latency, args.verbose ? stderr : nullptr) {}

    // The first song that opens, and its header report: one file by the
    // console dialogue, answered by the command line or at the prompt; of a
    // list, the first that opens. Exits when none does.
    void begin() {
        if (!many) {
            static char path[pathcapacity + 1];
            std::FILE* f =
                openaudiofile(stdin, stdout, path, list.songs[0].path.c_str(), stderr, asked);
            if (f == nullptr) std::exit(exitnofile);
            list.at = 0;
            report(f);
            return;
        }
        if (!asked) printprompt(stdout);
        const bool opened = startevening(list, [this](std::size_t i) {
            std::FILE* f = openasong(list.songs[i].path);
            if (f != nullptr) report(f);
            return f != nullptr;
        });
        if (!opened) {
            std::printf("Error opening file\n");
            std::exit(exitnofile);
        }
    }

    // After the banner: the audio device, and the first song plays.
    void play(Show& s) {
        show = &s;
        if (!Sdlplayer::openaudio()) {
            std::printf("Mix_OpenAudio: %s\n", SDL_GetError());
            std::exit(exitnoaudio);
        }
        start();
    }

    void pause(Clock& c) override {
        if (plays) {
            heard.pause(c);
        } else {
            Stillclock::pause(c);
        }
    }

    void resume(Clock& c, double picturems) override {
        if (plays) {
            heard.resume(c, picturems);
        } else {
            Stillclock::resume(c, picturems);
        }
    }

    void follow(Clock& c, double picturems) override {
        if (plays) heard.follow(c, picturems);
        // A song ends when the player has played it out, or, when it does
        // not play, once the analysis has read all of it. Asked now and then:
        // the player answers under the mixer's lock.
        const double now = wallms();
        if (now < nextlook || show->world.paused == 1) return;
        nextlook = now + 50;
        if (reading != nullptr && reading->ended()) sayifshort();
        if (list.finished) return;
        if (plays ? !player.playing() : show->source->ended()) {
            // The player may be done a little before the analysis: the rest
            // of the decoder's music, when it has at most a moment left, is
            // read now so that a file cut short says so before the next song.
            if (reading != nullptr) {
                std::int16_t rest[2 * 1024];
                for (int n = 0; n < analysisrate / 2 && !reading->ended(); n += 1024) {
                    reading->read(rest, 1024);
                }
                if (reading->ended()) sayifshort();
            }
            next();
        }
    }

    void next() override { say(nextsong(list, opener())); }

    void previous() override {
        const double ms = heardms(show->clock, clockms(), show->world.paused == 1);
        say(previoussong(list, ms, opener()));
    }

  private:
    // Once the decoder has given all it had: a line when that was less than
    // it announced.
    void sayifshort() {
        std::fputs(endedearly(playing, static_cast<double>(reading->decoded()) / analysisrate,
                              static_cast<double>(reading->estimate()) / analysisrate)
                       .c_str(),
                   stderr);
        reading = nullptr;
    }

    void say(Turn t) {
        if (t == Turn::ranout) std::fputs(endofthelist, stdout);
    }

    // Opens a song of a list, or says on stderr why it cannot.
    static std::FILE* openasong(const std::string& path) {
        std::FILE* f = openmusic(path.c_str());
        if (f == nullptr) {
            std::fprintf(stderr, "starlume: cannot open '%s': %s\n", path.c_str(),
                         std::strerror(errno));
        } else {
            std::printf("Successfully opened file\n");
        }
        return f;
    }

    // The song the list names, when it opens: its report, and it plays.
    Opensong opener() {
        return [this](std::size_t i) {
            const double began = wallms();
            std::FILE* f = openasong(list.songs[i].path);
            if (f == nullptr) return false;
            report(f);
            start();
            // The event loop waits meanwhile: no frame is drawn.
            if (args.verbose) {
                std::fprintf(stderr, "starlume: the switch to song %zu took %.1f ms\n", i + 1,
                             wallms() - began);
            }
            return true;
        };
    }

    // The header report of the song just opened; its stream stays at the
    // first sample for the raw reader.
    // A file that is not a canonical WAV then gets a line on what the
    // decoder found in it; an empty one a line on stderr.
    void report(std::FILE* f) {
        if (song != nullptr) std::fclose(song);
        song = f;
        const std::string& path = songat(list);
        reportHeader(header, song, stdout);
        // A module repeats as the player repeats it.
        Heldnotes held;
        decoded = Decoder::open(path.c_str(), Repeat::forever);
        notes = held.release();
        const Soundinfo i = decoded != nullptr ? decoded->info() : Soundinfo{};
        if (!canonical(header)) {
            std::printf("%s\n", notwav(i.format, i.channels, i.rate, i.seconds).c_str());
        }
        announced = i.seconds;
        struct stat st;
        if (fstat(fileno(song), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
            std::fprintf(stderr, "starlume: '%s' holds no sound\n", path.c_str());
        }
    }

    // The song the list names plays and is analysed; the clock, the pause
    // and the heard origin start afresh.
    void start() {
        const std::string& path = playing = songat(list);
        // The player's output is tapped only for what no decoder reads.
        Tapring* ring = decoded == nullptr ? &player.tap() : nullptr;
        Heldnotes held;
        plays = player.play(path.c_str());
        notes += held.release();
        if (args.verbose) std::fputs(notesline(path, notes).c_str(), stderr);
        std::unique_ptr<Source> tap = ring != nullptr ? played(player, *ring, plays) : nullptr;
        if (tap == nullptr) player.untap();
        reading = decoded.get();
        show->source = filesource(std::move(decoded), song, std::move(tap));
        show->clock = Clock{};
        show->world.paused = -1;
        if (plays) {
            heard.start(show->clock, picturems());
        } else {
            setclock(show->clock, wallms(), clocklead(picturems()));
        }
        // One length for the song everywhere: the decoder's, as the header
        // report gives it and a video plays it (the player's own reading of a
        // module can differ by seconds); the player's for what it alone reads.
        const std::optional<double> length =
            announced > 0 ? std::optional<double>(announced) : player.duration();
        recordsong(path, length); // --record: the song's section
        std::fputs(nowplaying(list, length).c_str(), stdout);
        nextlook = wallms() + 50;
    }

    const Args& args;
    Evening list;
    bool many;
    bool asked; // the prompt has been answered
    Show* show = nullptr;
    std::FILE* song = nullptr; // the song's file, read by the raw reader
    WavHeader header;
    std::unique_ptr<Decoder> decoded; // the song's, when a decoder reads it
    Decoder* reading = nullptr;       // the same, read by the analysis, until its end
    double announced = 0;             // the song's length by its decoder, s; 0 when not known
    std::string playing;              // the song's path
    std::string notes;                // what the libraries said while it opened
    Sdlplayer player;
    Wallclock wall;
    Heardclock heard;
    bool plays = false;  // the player plays the song
    double nextlook = 0; // when to ask again whether the song has ended
};

} // namespace

int filerun(Args& args) {
    std::vector<std::string> given(args.paths.begin(), args.paths.end());
    // Without a FILE the prompt names one, which plays as a FILE would.
    const bool asked = given.empty();
    if (asked) {
        std::optional<std::string> typed = askpath(stdin, stdout, stderr);
        if (!typed) std::exit(exitnofile);
        given.push_back(std::move(*typed));
    }
    std::vector<Song> list = playlist(given, stderr);
    if (list.empty()) {
        if (!asked) printprompt(stdout);
        std::printf("Error opening file\n");
        std::fprintf(stderr, "starlume: no songs in '%s'\n", given[0].c_str());
        std::exit(exitnofile);
    }
    std::optional<unsigned> order;
    if (args.shuffle) order = args.seed ? *args.seed : static_cast<unsigned>(std::time(nullptr));
    static Jukebox jukebox(args, makeevening(std::move(list), args.loop, order), asked);
    jukebox.begin();
    if (const int status = startrecording(args, false); status != 0) return status;
    Show& show = windowshow(args);
    jukebox.play(show);
    return runwindow(args, show, jukebox);
}

} // namespace starlume
