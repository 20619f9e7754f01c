#include "core/input/take.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/app/showntext.h"

namespace starlume {

namespace {

// Length of the UTF-8 sequence at s[i], or 0 when it is not one (a stray or
// missing continuation byte, an overlong form, a surrogate, past U+10FFFF).
std::size_t utf8at(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned lo = 0x80, hi = 0xbf; // the second byte's range
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0) lo = 0xa0;
        if (c == 0xed) hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0) lo = 0x90;
        if (c == 0xf4) hi = 0x8f;
    } else {
        return 0;
    }
    if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; k++) {
        if ((b(i + k) & 0xc0) != 0x80) return 0;
    }
    return n;
}

bool iscontrol(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }

bool isblank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isblank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isblank(s.back())) s.remove_suffix(1);
    return s;
}

// The next blank-separated word of s, taken off it.
std::string_view word(std::string_view& s) {
    while (!s.empty() && isblank(s.front())) s.remove_prefix(1);
    std::size_t n = 0;
    while (n < s.size() && !isblank(s[n])) n++;
    const std::string_view w = s.substr(0, n);
    s.remove_prefix(n);
    return w;
}

// A decimal number as a take writes it: digits, a point and digits, with a
// minus sign where allowed. Nothing else (no exponent, no "inf").
std::optional<double> decimal(std::string_view text, bool sign) {
    std::string_view digits = text;
    if (sign && !digits.empty() && digits[0] == '-') digits.remove_prefix(1);
    const auto point = digits.find('.');
    const std::string_view whole = digits.substr(0, point);
    const std::string_view part =
        point == std::string_view::npos ? std::string_view("0") : digits.substr(point + 1);
    const auto alldigits = [](std::string_view d) {
        return !d.empty() && d.size() <= 20 &&
               std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!alldigits(whole) || !alldigits(part)) return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

std::optional<long long> whole(std::string_view text, long long lo, long long hi) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const long long v = std::strtoll(std::string(text).c_str(), nullptr, 10);
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

std::string msText(double ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f ms", ms);
    return text;
}

// The keys of --keys and of a take's header: keys of the table, pressed
// unseen, so neither the console's 'n' nor 'Q'.
std::string keyserror(std::string_view keys) {
    for (const char c : keys) {
        if (!iskey(static_cast<unsigned char>(c)))
            return quoted(std::string(1, c)) + " is not a key";
        if (c == 'n' || c == 'Q') return quoted(std::string(1, c)) + " cannot be in keys";
    }
    return "";
}

struct Eventname {
    const char* name;
    Eventkind kind;
};
constexpr Eventname eventnames[] = {
    {"key", Eventkind::key},
    {"stars", Eventkind::stars},
    {"press", Eventkind::press},
    {"move", Eventkind::move},
    {"release", Eventkind::release},
    {"next", Eventkind::next},
    {"previous", Eventkind::previous},
    {"fullscreen", Eventkind::fullscreen},
    {"leavefullscreen", Eventkind::leavefullscreen},
};

const char* nameof(Eventkind k) {
    for (const Eventname& e : eventnames) {
        if (e.kind == k) return e.name;
    }
    return "";
}

// An event line's event, after its time: the kind and what it needs. An
// error message, or "".
std::string readevent(std::string_view rest, Event& e) {
    const std::string_view kind = word(rest);
    const auto known = std::find_if(std::begin(eventnames), std::end(eventnames),
                                    [&](const Eventname& n) { return kind == n.name; });
    if (known == std::end(eventnames)) {
        return kind.empty() ? "an event is missing after the position"
                            : "unknown event " + quoted(kind);
    }
    e.kind = known->kind;
    if (e.kind == Eventkind::key) {
        const std::string_view c = word(rest);
        if (c.empty()) return "'key' needs the key";
        const auto k = static_cast<unsigned char>(c[0]);
        if (c.size() != 1 || !iskey(k)) return quoted(c) + " is not a key";
        if (k == 'n') return "'n' asks on the console; a take has 'stars N' instead";
        e.key = k;
    } else if (e.kind == Eventkind::stars) {
        const std::string_view n = word(rest);
        const auto v = whole(n, 1, maxorder);
        if (!v) return "'stars' needs a number from 1 to 100, not " + quoted(n);
        e.stars = static_cast<int>(*v);
    } else if (e.kind == Eventkind::press || e.kind == Eventkind::move ||
               e.kind == Eventkind::release) {
        for (double* f : {&e.x, &e.y}) {
            const std::string_view n = word(rest);
            const auto v = decimal(n, true);
            if (!v) {
                return n.empty() ? quoted(kind) + " needs two fractions, X and Y"
                                 : quoted(n) + " is not a number";
            }
            *f = *v;
        }
    }
    if (const std::string_view more = trimmed(rest); !more.empty()) {
        return "more than " + quoted(kind) + " takes: " + quoted(more);
    }
    return "";
}

// The header's lines, in their order.
enum class Expect { version, seed, stars, keys, body };

} // namespace

std::optional<Takeerror> readtake(std::string_view text, Take& take) {
    take = Take{};
    // Text first: a fault anywhere is found before what the lines mean.
    int line = 1;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            line++;
            i++;
            continue;
        }
        const bool crlf = c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n');
        if (iscontrol(c) && !crlf) {
            char why[64];
            std::snprintf(why, sizeof why, "binary data, not text (a byte 0x%02x)", c);
            return Takeerror{line, why};
        }
        const std::size_t n = utf8at(text, i);
        if (n == 0) return Takeerror{line, "not UTF-8 text"};
        i += n;
    }

    Expect expect = Expect::version;
    line = 0;
    Takesong* song = nullptr;
    auto error = [&](std::string why) { return Takeerror{line, std::move(why)}; };
    for (std::size_t at = 0; at <= text.size();) {
        const auto end = std::min(text.find('\n', at), text.size());
        std::string_view l = text.substr(at, end - at);
        at = end + 1;
        line++;
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        if (trimmed(l).empty() || l[0] == '#') continue;
        std::string_view rest = l;
        const std::string_view first = word(rest);
        const std::string_view value = trimmed(rest);
        switch (expect) {
        case Expect::version: {
            std::string_view r = rest;
            const std::string_view take_ = word(r), version = word(r);
            if (first != "starlume" || take_ != "take" || version.empty() || !trimmed(r).empty()) {
                return error("not a take: it starts with 'starlume take 1'");
            }
            if (version != "1") return error("unknown version " + quoted(version));
            expect = Expect::seed;
            continue;
        }
        case Expect::seed: {
            const auto v = whole(value, 0, 4294967295LL);
            if (first != "seed" || !v) {
                return error("expected 'seed N', N from 0 to 4294967295, not " + quoted(l));
            }
            take.seed = static_cast<unsigned>(*v);
            expect = Expect::stars;
            continue;
        }
        case Expect::stars: {
            const auto v = whole(value, 1, maxorder);
            if (first != "stars" || !v) {
                return error("expected 'stars N', N from 1 to 100, not " + quoted(l));
            }
            take.stars = static_cast<int>(*v);
            expect = Expect::keys;
            continue;
        }
        case Expect::keys:
            if (first != "keys") return error("expected 'keys' and the keys, not " + quoted(l));
            if (auto e = keyserror(value); !e.empty()) return error(e);
            take.keys = value;
            expect = Expect::body;
            continue;
        case Expect::body: break;
        }
        if (first == "sound") {
            if (song != nullptr) return error("'sound' belongs in the header, before the songs");
            if (!take.sound.empty()) return error("a second 'sound' line");
            if (value.empty()) return error("'sound' needs the sound file's name");
            take.sound = value;
            continue;
        }
        if (first == "song") {
            const std::string_view seconds = word(rest);
            const auto s = decimal(seconds, false);
            while (!rest.empty() && isblank(rest.front())) rest.remove_prefix(1);
            if (!s || rest.empty()) {
                return error("expected 'song SECONDS NAME', not " + quoted(l));
            }
            take.songs.push_back({*s, std::string(rest), line, {}});
            song = &take.songs.back();
            continue;
        }
        const auto ms = decimal(first, false);
        if (!ms) {
            if (first == "seed" || first == "stars" || first == "keys" || first == "starlume") {
                return error(quoted(first) + " belongs in the header, once");
            }
            return error("expected a position in ms or 'song', not " + quoted(first));
        }
        if (song == nullptr) return error("an event before the first 'song' line");
        Event e;
        e.ms = *ms;
        e.song = static_cast<int>(take.songs.size()) - 1;
        if (auto why = readevent(rest, e); !why.empty()) return error(why);
        if (!song->events.empty() && e.ms < song->events.back().ms) {
            return error("out of time order: " + msText(e.ms) + " after " +
                         msText(song->events.back().ms));
        }
        // The length has three decimals: a position may round onto it.
        if (song->seconds > 0 && e.ms > song->seconds * 1000 + 0.01) {
            char why[96];
            std::snprintf(why, sizeof why, "%s is past the end of the song (%.3f s)",
                          msText(e.ms).c_str(), song->seconds);
            return error(why);
        }
        song->events.push_back(e);
    }
    if (expect != Expect::body) {
        const char* missing[] = {"'starlume take 1'", "'seed N'", "'stars N'", "'keys'"};
        return error(std::string("the take ends before its header does: expected ") +
                     missing[static_cast<int>(expect)]);
    }
    return std::nullopt;
}

std::optional<Takeerror> takeevents(const Take& take, const std::vector<std::string>& names,
                                    Takeevents& out) {
    out = Takeevents{};
    bool found = false;
    for (const Takesong& s : take.songs) {
        if (std::find(names.begin(), names.end(), s.name) == names.end()) {
            return Takeerror{s.line, "a section for " + quoted(s.name) +
                                         ", which is not among the songs given"};
        }
        if (found) {
            out.again.push_back(s.line);
            continue;
        }
        found = true;
        out.events = s.events;
    }
    return std::nullopt;
}

std::optional<Takeerror> albumsections(const Take& take, const std::vector<std::string>& names,
                                       Albumtake& out) {
    out = Albumtake{std::vector<int>(names.size(), -1), {}};
    for (std::size_t k = 0; k < take.songs.size(); k++) {
        const Takesong& s = take.songs[k];
        if (std::find(names.begin(), names.end(), s.name) == names.end()) {
            return Takeerror{s.line, "a section for " + quoted(s.name) +
                                         ", which is not among the songs given"};
        }
        std::size_t i = 0;
        while (i < names.size() && (names[i] != s.name || out.sections[i] >= 0)) i++;
        if (i == names.size()) {
            out.again.push_back(s.line);
        } else {
            out.sections[i] = static_cast<int>(k);
        }
    }
    return std::nullopt;
}

std::vector<Event> albumevents(const Take& take, const std::vector<int>& sections,
                               const std::vector<double>& startms, const std::vector<double>& endms,
                               int& late) {
    std::vector<Event> events;
    late = 0;
    for (std::size_t i = 0; i < sections.size(); i++) {
        if (sections[i] < 0) continue;
        for (Event e : take.songs[static_cast<std::size_t>(sections[i])].events) {
            // Past its song's end an event would land in the next song.
            if (e.ms > endms[i]) {
                late++;
                continue;
            }
            e.ms += startms[i];
            events.push_back(e);
        }
    }
    // A take may have played the songs in another order.
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.ms < b.ms; });
    return events;
}

std::string takename(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8at(name, i);
        if (n == 0 || iscontrol(static_cast<unsigned char>(name[i]))) {
            out += '?';
            i++;
        } else {
            out.append(name.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string takeheader(const Take& take) {
    std::string h = "# Starlume take: one performance, to be rendered with --render OUT --take "
                    "FILE\nstarlume take 1\n";
    h += "seed " + std::to_string(take.seed) + "\n";
    h += "stars " + std::to_string(take.stars) + "\n";
    h += take.keys.empty() ? "keys\n" : "keys " + take.keys + "\n";
    if (!take.sound.empty()) h += "sound " + takename(take.sound) + "\n";
    return h;
}

std::string songline(double seconds, std::string_view name) {
    char length[64];
    std::snprintf(length, sizeof length, "%.3f", seconds > 0 ? seconds : 0);
    return "song " + std::string(length) + " " + takename(name) + "\n";
}

std::string eventline(const Event& e) {
    char text[128];
    const char* kind = nameof(e.kind);
    switch (e.kind) {
    case Eventkind::key: std::snprintf(text, sizeof text, "%.1f key %c\n", e.ms, e.key); break;
    case Eventkind::stars:
        std::snprintf(text, sizeof text, "%.1f stars %d\n", e.ms, e.stars);
        break;
    case Eventkind::press:
    case Eventkind::move:
    case Eventkind::release:
        std::snprintf(text, sizeof text, "%.1f %s %.4f %.4f\n", e.ms, kind, e.x, e.y);
        break;
    default: std::snprintf(text, sizeof text, "%.1f %s\n", e.ms, kind); break;
    }
    return text;
}

Takewriter::Takewriter(std::FILE* f) : f(f) {
    // Lines collect in memory between flushes: the pass never waits on the disk.
    std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
}

Takewriter::~Takewriter() { close(); }

void Takewriter::put(const std::string& line) {
    if (f != nullptr && std::fputs(line.c_str(), f) == EOF) failed = true;
}

void Takewriter::header(const Take& take) { put(takeheader(take)); }

void Takewriter::song(std::string_view name, std::optional<double> seconds) {
    const double s = seconds && *seconds > 0 && std::isfinite(*seconds) ? *seconds : 0;
    put(songline(s, name));
    sections++;
    // The end as the song line writes it, in whole ms.
    endms = std::round(s * 1000);
    lastms = 0;
}

void Takewriter::write(Event e) {
    if (sections == 0) return;
    if (e.kind == Eventkind::key && (e.key == 'n' || !iskey(e.key))) return;
    if (e.kind == Eventkind::stars && (e.stars < 1 || e.stars > maxorder)) return;
    if (!(e.ms >= lastms)) e.ms = lastms; // also NaN
    if (endms > 0 && e.ms > endms) e.ms = endms;
    lastms = e.ms;
    e.song = section();
    put(eventline(e));
}

bool Takewriter::flush() {
    if (f != nullptr && std::fflush(f) != 0) failed = true;
    return !failed;
}

bool Takewriter::close() {
    if (f == nullptr) return !failed;
    flush();
    if (std::ferror(f) != 0) failed = true;
    if (std::fclose(f) != 0) failed = true;
    f = nullptr;
    return !failed;
}

} // namespace starlume
