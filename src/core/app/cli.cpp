#include "core/app/cli.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/app/exits.h"
#include "core/input/commands.h"

#ifndef STARLUME_VERSION
#define STARLUME_VERSION "unknown"
#endif

namespace starlume {

namespace {

// The toolkit's options and how many arguments each takes; glutInit reads
// them later, after the console dialogue.
struct Toolkitoption {
    const char* name;
    int arguments;
};
constexpr Toolkitoption toolkitoptions[] = {{"-display", 1},  {"-geometry", 1}, {"-direct", 0},
                                            {"-indirect", 0}, {"-iconic", 0},   {"-gldebug", 0},
                                            {"-sync", 0}};

// Which runs an option belongs to, for the check that it fits the one chosen.
enum Fits : unsigned { windowrun = 1, listenrun = 2, renderrun = 4, everyrun = 7 };

// Whether an option takes a value: never, always, or when one follows it
// (--listen [DEVICE]).
enum class Takes { nothing, value, maybe };

struct Option {
    const char* name;
    Takes takes;
    unsigned fits;
};
constexpr Option options[] = {
    {"--render", Takes::value, renderrun},
    {"--size", Takes::value, renderrun},
    {"--fit", Takes::value, renderrun},
    {"--from", Takes::value, renderrun},
    {"--to", Takes::value, renderrun},
    {"--transparent", Takes::nothing, renderrun},
    {"--cover", Takes::value, renderrun},
    {"--title", Takes::value, renderrun},
    {"--artist", Takes::value, renderrun},
    {"--fps", Takes::value, renderrun},
    {"--passes", Takes::value, renderrun},
    {"--quality", Takes::value, renderrun},
    {"--preset", Takes::value, renderrun},
    {"--at", Takes::value, renderrun},
    {"--take", Takes::value, renderrun},
    {"--keys", Takes::value, everyrun},
    {"--stars", Takes::value, everyrun},
    {"--seed", Takes::value, everyrun},
    {"--verbose", Takes::nothing, everyrun},
    {"--fullscreen", Takes::nothing, windowrun | listenrun},
    {"--loop", Takes::nothing, windowrun},
    {"--shuffle", Takes::nothing, windowrun},
    {"--latency", Takes::value, windowrun},
    {"--record", Takes::value, windowrun | listenrun},
    {"--listen", Takes::maybe, listenrun},
    {"--list-devices", Takes::nothing, 0},
};

// A video's defaults, measured on the demo tune, 10000 points and the Fire
// colours at 720p60: thin outlines moving every frame cost bits, and the
// drawing keeps most of both cores busy, so x264 gets one thread and no
// more time than superfast without B-frames or small partitions takes (a
// fifth less than with them). CABAC decodes to the same picture as CAVLC
// with a sixth fewer bits; CRF 30 keeps busy music under 10 Mb/s (8 to 10,
// against 23 to 30 at CRF 20).
constexpr const char* defaultpreset = "superfast";
constexpr int defaultquality = 30;
constexpr const char* defaultparams = "bframes=0:partitions=none";

// The shapes people post, by name.
struct Shape {
    std::string_view name;
    int width, height;
};
constexpr Shape shapes[] = {
    {"vertical", 1080, 1920}, {"square", 1080, 1080}, {"wide", 1920, 1080}, {"720p", 1280, 720}};

// x264's presets, fastest first.
constexpr std::string_view presets[] = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                        "medium",    "slow",      "slower",   "veryslow"};

// The options that take a whole number: its range, what it counts, and the
// field it sets.
struct Wholeoption {
    const char* name;
    long long lo, hi;
    const char* what;
    int Args::*field;
};
constexpr Wholeoption wholeoptions[] = {
    {"--fps", 1, 240, "a number", &Args::fps},
    {"--passes", 100, 100000, "a number", &Args::passes},
    {"--quality", 0, 51, "a number", &Args::quality},
    {"--stars", 1, 100, "a number", &Args::stars},
    {"--latency", 0, 1000, "milliseconds", &Args::latency},
};

unsigned bitof(std::string_view name) {
    for (const auto& o : options) {
        if (name == o.name) return 1u << (&o - options);
    }
    return 0;
}

Args usage(std::string error) {
    Args a;
    a.action = Args::usage;
    a.error = std::move(error);
    return a;
}

// A whole decimal number from lo to hi.
std::optional<long long> number(std::string_view text, long long lo, long long hi) {
    if (text.empty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const long long v = std::strtoll(std::string(text).c_str(), nullptr, 10);
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

// Keys to press unseen: the star count would wait on the console, and quit
// would end the run before it starts.
std::string keyerror(const std::string& keys, const char* option) {
    for (char refused : {'n', 'Q'}) {
        if (keys.find(refused) != std::string::npos) {
            return std::string("'") + refused + "' cannot be given in " + option;
        }
    }
    return "";
}

// Sets what option o says from its value; an error message, or "".
std::string apply(Args& a, std::string_view o, const char* v) {
    const std::string_view text = v != nullptr ? v : "";
    auto bad = [&](const std::string& what) {
        return "option '" + std::string(o) + "' needs " + what + ", not '" + std::string(text) +
               "'";
    };
    for (const auto& w : wholeoptions) {
        if (o != w.name) continue;
        const auto n = number(text, w.lo, w.hi);
        if (!n) {
            return bad(std::string(w.what) + " from " + std::to_string(w.lo) + " to " +
                       std::to_string(w.hi));
        }
        a.*w.field = static_cast<int>(*n);
        return "";
    }
    if (o == "--render") {
        if (text.empty()) return bad("a file to write");
        a.out = v;
    } else if (o == "--size") {
        for (const Shape& shape : shapes) {
            if (text != shape.name) continue;
            a.width = shape.width;
            a.height = shape.height;
            return "";
        }
        const auto x = text.find('x');
        const auto w = number(text.substr(0, x), 16, 7680);
        const auto h =
            x == std::string_view::npos ? std::nullopt : number(text.substr(x + 1), 16, 7680);
        if (!w || !h || *w % 2 != 0 || *h % 2 != 0) {
            return bad("vertical, square, wide, 720p or WIDTHxHEIGHT, even numbers from 16 to "
                       "7680");
        }
        a.width = static_cast<int>(*w);
        a.height = static_cast<int>(*h);
    } else if (o == "--fit") {
        if (text != "square" && text != "stretch") return bad("square or stretch");
        a.stretch = text == "stretch";
    } else if (o == "--from" || o == "--to") {
        const auto s = musicseconds(text);
        if (!s) return bad("a TIME in seconds, m:ss or h:mm:ss");
        (o == "--from" ? a.from : a.to) = *s;
    } else if (o == "--transparent") {
        a.transparent = true;
    } else if (o == "--cover") {
        if (text.empty()) return bad("a PNG or JPEG picture, or none");
        a.cover = v;
    } else if (o == "--title" || o == "--artist") {
        (o == "--title" ? a.title : a.artist) = std::string(text);
    } else if (o == "--preset") {
        if (std::find(std::begin(presets), std::end(presets), text) == std::end(presets)) {
            return bad("one of ultrafast, superfast, veryfast, faster, fast, medium, slow, "
                       "slower, veryslow");
        }
        a.preset = v;
    } else if (o == "--at") {
        // The keys follow the last colon, so that the time may have its own.
        const auto colon = text.rfind(':');
        const auto s =
            colon == std::string_view::npos ? std::nullopt : musicseconds(text.substr(0, colon));
        if (!s) return bad("TIME:KEYS, TIME in seconds, m:ss or h:mm:ss");
        Timedkeys t{*s, std::string(text.substr(colon + 1))};
        if (t.keys.empty())
            return "option '--at' needs keys after the time: '" + std::string(text) + "'";
        for (const char key : t.keys) {
            if (!iskey(static_cast<unsigned char>(key))) {
                // Appended, not added: g++ 12 warns wrongly about the sum.
                std::string why(1, '\'');
                why += key;
                return why.append("' in --at ").append(text).append(" is not a key");
            }
        }
        if (auto e = keyerror(t.keys, "--at"); !e.empty()) return e;
        a.at.push_back(std::move(t));
    } else if (o == "--keys") {
        a.keys = text;
        if (auto e = keyerror(a.keys, "--keys"); !e.empty()) return e;
    } else if (o == "--seed") {
        const auto n = number(text, 0, 4294967295LL);
        if (!n) return bad("a number from 0 to 4294967295");
        a.seed = static_cast<unsigned>(*n);
    } else if (o == "--record" || o == "--take") {
        if (text.empty()) return bad("a take's file");
        (o == "--record" ? a.record : a.take) = v;
    } else if (o == "--listen") {
        a.device = v;
    } else if (o == "--list-devices") {
        a.action = Args::listdevices;
    } else if (o == "--fullscreen") {
        a.fullscreen = true;
    } else if (o == "--loop") {
        a.loop = true;
    } else if (o == "--shuffle") {
        a.shuffle = true;
    } else if (o == "--verbose") {
        a.verbose = true;
    }
    return "";
}

// Seconds as a message gives them back: 90, 1.5.
std::string seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

// Whether the options given suit the run they ask for.
std::string checkrun(Args& a, unsigned given) {
    const bool listen = (given & bitof("--listen")) != 0;
    if (a.action == Args::listdevices) {
        if (a.path != nullptr || (given & ~bitof("--list-devices")) != 0) {
            return "--list-devices takes no file and no other option";
        }
        return "";
    }
    if (listen && a.out != nullptr) return "--listen and --render cannot go together";
    unsigned run = windowrun;
    const char* name = "a window on a file";
    if (listen) {
        a.action = Args::listen;
        run = listenrun;
        name = "--listen";
        if (a.path != nullptr) return std::string("--listen takes no file: '") + a.path + "'";
    } else if (a.out != nullptr) {
        a.action = Args::render;
        run = renderrun;
        name = "--render";
        if (a.path == nullptr && a.take == nullptr) {
            return "--render needs a FILE to make the video of";
        }
    }
    for (const auto& o : options) {
        if ((given & (1u << (&o - options))) != 0 && (o.fits & run) == 0) {
            return std::string("option '") + o.name + "' does not go with " + name;
        }
    }
    if (a.to && *a.to <= a.from.value_or(0)) {
        return "--to " + seconds(*a.to) +
               (a.from ? " is not after --from " + seconds(*a.from) : " keeps none of the music");
    }
    // x264's own options: the codecs with transparency have none of them.
    if (a.transparent && a.preset != nullptr) {
        return "option '--preset' (x264's) does not go with --transparent";
    }
    std::stable_sort(a.at.begin(), a.at.end(),
                     [](const Timedkeys& x, const Timedkeys& y) { return x.seconds < y.seconds; });
    return "";
}

// A parse under way: the arguments, and what they have said so far.
struct Parse {
    int argc;
    char** argv;
    Args a;
    unsigned given; // bit i: options[i] was given
};

const Toolkitoption* toolkitof(const char* arg) {
    for (const auto& o : toolkitoptions) {
        if (std::strcmp(arg, o.name) == 0) return &o;
    }
    return nullptr;
}

bool istoolkit(const char* arg) { return toolkitof(arg) != nullptr; }

// A toolkit option at argv[i] and its arguments, kept for glutInit; moves i
// past them. An error message, or "".
std::string toolkitoption(Parse& p, int& i) {
    const Toolkitoption* tk = toolkitof(p.argv[i]);
    if (i + tk->arguments >= p.argc) {
        return std::string("option '") + p.argv[i] + "' needs an argument";
    }
    for (int k = 0; k <= tk->arguments; k++) p.a.toolkit.push_back(p.argv[i + k]);
    i += tk->arguments;
    return "";
}

// One of our options at argv[i], as --name VALUE or --name=VALUE; moves i
// past its value. An error message, or "".
std::string option(Parse& p, int& i) {
    const char* arg = p.argv[i];
    const char* eq = std::strchr(arg, '=');
    const std::string_view name(arg, eq != nullptr ? static_cast<std::size_t>(eq - arg)
                                                   : std::strlen(arg));
    const Option* o = nullptr;
    for (const auto& known : options) {
        if (name == known.name) o = &known;
    }
    if (o == nullptr) return std::string("unknown option '") + arg + "'";
    p.given |= 1u << (o - options);
    const char* value = eq != nullptr ? eq + 1 : nullptr;
    if (value == nullptr && o->takes == Takes::value) {
        if (i + 1 >= p.argc) return std::string("option '") + arg + "' needs a value";
        value = p.argv[++i];
    } else if (value == nullptr && o->takes == Takes::maybe && i + 1 < p.argc &&
               p.argv[i + 1][0] != '-') {
        value = p.argv[++i];
    } else if (value != nullptr && o->takes == Takes::nothing) {
        return std::string("option '") + std::string(name) + "' takes no value";
    }
    return apply(p.a, name, value);
}

} // namespace

Square starsquare(int width, int height, bool stretch) {
    if (stretch) return {0, 0, width, height};
    const int side = std::min(width, height);
    return {(width - side) / 2, (height - side) / 2, side, side};
}

Videosettings videosettings(const Args& a) {
    return {a.preset != nullptr ? a.preset : defaultpreset,
            a.quality >= 0 ? a.quality : defaultquality, a.preset != nullptr ? "" : defaultparams};
}

std::optional<double> musicseconds(std::string_view text) {
    // Whole fields before the seconds: minutes, or hours then minutes, each
    // of these after the first in two digits below 60, as clocks write them.
    double whole = 0;
    int fields = 0;
    for (auto colon = text.find(':'); colon != std::string_view::npos; colon = text.find(':')) {
        const std::string_view field = text.substr(0, colon);
        const auto n = number(field, 0, fields == 0 ? 999999 : 59);
        if (!n || ++fields > 2 || (fields > 1 && field.size() != 2)) return std::nullopt;
        whole = whole * 60 + static_cast<double>(*n);
        text.remove_prefix(colon + 1);
    }
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos ||
        (fields > 0 && (text.size() < 2 || text[0] == '.' || text[1] == '.' ||
                        (text.size() > 2 && text[2] != '.')))) {
        return std::nullopt;
    }
    const std::string digits(text);
    char* end = nullptr;
    errno = 0;
    const double s = std::strtod(digits.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(s) || (fields > 0 && s >= 60)) {
        return std::nullopt;
    }
    return whole * 60 + s;
}

Args parseargs(int argc, char** argv) {
    Parse p{argc, argv, {}, 0};
    p.a.toolkit.push_back(argc > 0 ? argv[0] : const_cast<char*>("starlume"));
    bool opts = true;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (opts && std::strcmp(arg, "--") == 0) {
            opts = false;
            continue;
        }
        if (!opts || arg[0] != '-' || arg[1] == '\0') {
            if (p.a.path == nullptr) p.a.path = arg;
            p.a.paths.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            p.a.action = Args::help;
            return p.a;
        }
        if (std::strcmp(arg, "--version") == 0) {
            p.a.action = Args::version;
            return p.a;
        }
        const std::string error = istoolkit(arg) ? toolkitoption(p, i) : option(p, i);
        if (!error.empty()) return usage(error);
    }
    if (auto e = checkrun(p.a, p.given); !e.empty()) return usage(e);
    return p.a;
}

void printhelp(std::FILE* out) {
    std::fprintf(out,
                 "Usage: starlume [OPTIONS] [FILE...]\n"
                 "       starlume --render OUT [OPTIONS] FILE...\n"
                 "       starlume --render OUT --take TAKE [OPTIONS] [FILE...]\n"
                 "       starlume --listen [DEVICE] [OPTIONS]\n"
                 "       starlume --list-devices | --help | --version\n"
                 "\n"
                 "Plays FILE and makes a grid of stars dance to it in a window. Without FILE\n"
                 "the path is asked for on the console, where it may hold blanks, be quoted\n"
                 "and start with ~/. Several FILEs, a folder (its audio files in name order)\n"
                 "or a list (M3U, M3U8 or PLS) play one after another.\n"
                 "\n"
                 "Options:\n"
                 "  -h, --help         print this help and exit\n"
                 "  --version          print the version and exit\n"
                 "  --keys KEYS        press KEYS (see below) before the first pass, e.g.\n"
                 "                     --keys 7b for the Fire colours and the black hole;\n"
                 "                     n and Q cannot be given\n"
                 "  --stars N          stars per side, 1 to 100 (default 75), as n sets them\n"
                 "  --seed N           seed the random numbers (default: from the clock), so\n"
                 "                     that a run can be repeated\n"
                 "  --latency MS       the time from the program to your ears, 0 to 1000 ms\n"
                 "                     (default: asked of the sound server, else 30 ms); give\n"
                 "                     it for a path the server cannot see, such as an\n"
                 "                     external receiver\n"
                 "  --fullscreen       start in fullscreen\n"
                 "  --loop             start the list over after its last song\n"
                 "  --shuffle          play the list in a random order (from --seed when given)\n"
                 "  --record TAKE      write what is played (keys, the mouse, each song) to\n"
                 "                     TAKE as it happens, for --render --take; with --listen\n"
                 "                     the sound heard is kept beside it as FLAC\n"
                 "  --verbose          say on stderr what was chosen, such as the latency\n"
                 "  --                 end of options: the next argument is FILE\n"
                 "The X toolkit's options (-display, -geometry, -iconic, -direct, -indirect,\n"
                 "-gldebug, -sync) are passed on to it.\n"
                 "\n"
                 "Making a video (no window and no sound device are needed):\n"
                 "  --render OUT       write a video of FILE to OUT and exit; the container\n"
                 "                     comes from OUT's extension (.mp4, .mkv, ...), with\n"
                 "                     H.264 video and AAC sound. Several FILEs, a folder or\n"
                 "                     a list make one video, the songs back to back, each\n"
                 "                     with its title and picture and a chapter of its own;\n"
                 "                     --from, --to and --at count from the first song's\n"
                 "                     start\n"
                 "  --size SIZE        vertical (1080x1920), square (1080x1080), wide\n"
                 "                     (1920x1080), 720p (1280x720, the default) or WxH,\n"
                 "                     width and height even, 16 to 7680\n"
                 "  --fit square       keep the stars' square round, centred, the rest of the\n"
                 "                     frame background (the default); --fit stretch stretches\n"
                 "                     it over the whole frame\n"
                 "  --fps N            frames per second, 1 to 240 (default 60)\n"
                 "  --passes N         simulation passes per second of music, 100 to 100000\n"
                 "                     (default 2000)\n"
                 "  --quality N        x264's constant rate factor, 0 (lossless) to 51: lower\n"
                 "                     is sharper and larger (default 30, about 8 to 10 Mb/s\n"
                 "                     for busy music at 720p60)\n"
                 "  --preset NAME      x264's preset, ultrafast, superfast, veryfast, faster,\n"
                 "                     fast, medium, slow, slower or veryslow: slower is\n"
                 "                     smaller for the same quality (default superfast, tuned)\n"
                 "  --at TIME:KEYS     press KEYS when the music reaches TIME (seconds, m:ss or\n"
                 "                     h:mm:ss, e.g. 90, 1:30 or 1:30.5); repeatable\n"
                 "  --from TIME        keep the video from TIME on (seconds, m:ss or h:mm:ss);\n"
                 "                     the stars still dance from the start, unseen\n"
                 "  --to TIME          keep the video up to TIME; the sound fades in and out\n"
                 "                     briefly at each cut\n"
                 "  --transparent      leave the background transparent, the stars opaque:\n"
                 "                     OUT .webm (VP9 with alpha, Vorbis sound) or .mov\n"
                 "                     (ProRes 4444, AAC sound); --quality is VP9's there,\n"
                 "                     and ProRes takes none\n"
                 "  --cover IMAGE      lay a PNG or JPEG picture, blurred and darkened, under\n"
                 "                     the stars; by default the song's own picture, if it\n"
                 "                     has one and the video is not transparent; --cover\n"
                 "                     none lays none\n"
                 "  --title TEXT       the title written in the video (default the song's\n"
                 "                     tag, else its list's title); an empty TEXT writes\n"
                 "                     none; given, it is every song's\n"
                 "  --artist TEXT      the artist written under it, likewise\n"
                 "  --take TAKE        replay TAKE, recorded with --record: its seed, stars,\n"
                 "                     keys and everything played, the mouse included, each\n"
                 "                     song's section on its song; without FILE, the sound it\n"
                 "                     kept\n"
                 "In a video P holds the dance while the music plays on, and F counts\n"
                 "milliseconds of music.\n"
                 "\n"
                 "Live sound:\n"
                 "  --listen [DEVICE]  analyse a capture device instead of a file: the\n"
                 "                     system's default, or DEVICE by its name, by a part of\n"
                 "                     its name that only one device has, or by its number\n"
                 "  --list-devices     list the capture devices and exit\n"
                 "\n"
                 "Analysed in step with the music: WAV (any sample format, rate and channel\n"
                 "count), AIFF, FLAC, Ogg Vorbis, Opus, MP3 and tracker modules (.mod, .xm,\n"
                 ".s3m, .it, ...). Any other file the player plays is analysed from the\n"
                 "sound it plays; any other file that opens drives the stars with its bytes.\n"
                 "\n"
                 "Keys in the window:\n");
    printkeys(out);
    std::fprintf(out,
                 "\n"
                 "Mouse: hold the left button to pull the stars toward the cursor.\n"
                 "\n"
                 "Exit status: 0 after Q or a finished video; 1 when FILE cannot be opened\n"
                 "(for a video: or decoded), a capture device cannot be opened or\n"
                 "--list-devices finds none; 2 when the audio device cannot be opened; %d\n"
                 "on a command line that cannot be understood or a DEVICE that fits several\n"
                 "devices; %d when a take cannot be read (TAKE:LINE: why); 69 when no\n"
                 "OpenGL context can be made for a video; 73 when OUT or a take cannot be\n"
                 "created; 74 when writing OUT or a take fails; 130 and 143 when a video or\n"
                 "a recording is stopped by SIGINT or SIGTERM.\n",
                 exitusage, exittake);
}

void printversion(std::FILE* out) { std::fprintf(out, "starlume %s\n", STARLUME_VERSION); }

} // namespace starlume
