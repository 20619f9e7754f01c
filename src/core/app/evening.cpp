#include "core/app/evening.h"

#include "core/app/playlist.h"
#include "core/clock/videoclock.h"

namespace starlume {

Evening makeevening(std::vector<Song> songs, bool loop, std::optional<unsigned> shuffleseed) {
    Evening e;
    e.songs = std::move(songs);
    e.loop = loop;
    if (shuffleseed) shuffle(e.songs, *shuffleseed);
    return e;
}

Evening makeevening(const std::vector<std::string>& paths, bool loop,
                    std::optional<unsigned> shuffleseed) {
    std::vector<Song> songs;
    for (const std::string& p : paths) songs.push_back({p, ""});
    return makeevening(std::move(songs), loop, shuffleseed);
}

bool startevening(Evening& e, const Opensong& open) {
    for (e.at = 0; e.at < e.songs.size(); e.at++) {
        if (open(e.at)) return true;
    }
    e.at = 0;
    return false;
}

Turn nextsong(Evening& e, const Opensong& open) {
    const std::size_t n = e.songs.size();
    if (e.finished || n == 0) return Turn::stays;
    // With loop the last try is the song playing itself, which then starts over.
    for (std::size_t tries = 0; tries < n; tries++) {
        if (e.at + 1 == n && !e.loop) break;
        e.at = (e.at + 1) % n;
        if (open(e.at)) return Turn::playing;
    }
    e.finished = true;
    return Turn::ranout;
}

Turn previoussong(Evening& e, double heardms, const Opensong& open) {
    const std::size_t n = e.songs.size();
    if (n == 0) return Turn::stays;
    const bool again = e.finished || heardms > againms;
    for (std::size_t tries = 0; tries < n; tries++) {
        if (tries > 0 || !again) e.at = e.at > 0 ? e.at - 1 : e.loop ? n - 1 : 0;
        if (open(e.at)) {
            e.finished = false;
            return Turn::playing;
        }
    }
    return Turn::stays;
}

const std::string& songat(const Evening& e) {
    static const std::string none;
    return e.at < e.songs.size() ? e.songs[e.at].path : none;
}

std::string nowplaying(const Evening& e, std::optional<double> seconds) {
    if (e.songs.size() < 2) return "";
    return "Now playing " + std::to_string(e.at + 1) + "/" + std::to_string(e.songs.size()) + ": " +
           songname(e.songs[e.at]) + " (" + (seconds ? clocktext(*seconds) : "-:--") + ")\n";
}

std::string endedearly(const std::string& path, double seconds, double announced) {
    const double missing = announced - seconds;
    if (announced <= 0 || missing <= 1 || missing <= 0.02 * announced) return "";
    return "starlume: '" + path + "' ended at " + clocktext(seconds) + " of " +
           clocktext(announced) + "\n";
}

} // namespace starlume
