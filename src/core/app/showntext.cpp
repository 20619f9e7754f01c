#include "core/app/showntext.h"

#include <vector>

namespace starlume {

std::string showntext(const std::string& text, std::size_t most) {
    std::vector<std::string> chars;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned c = p[i];
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        unsigned cp = len == 1 ? c : len == 2 ? c & 0x1f : len == 3 ? c & 0x0f : c & 0x07;
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; k++) {
            ok = (p[i + k] & 0xc0) == 0x80;
            cp = cp << 6 | (p[i + k] & 0x3f);
        }
        // Overlong forms, surrogates and beyond Unicode are as bad as a
        // stray byte.
        static const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && cp >= least[len] && cp <= 0x10ffff && (cp < 0xd800 || cp > 0xdfff);
        if (!ok) {
            chars.emplace_back("\xef\xbf\xbd"); // U+FFFD
            i++;
            continue;
        }
        if (cp < 0x20 || cp == 0x7f) {
            if (cp == '\t' || cp == '\n' || cp == '\r') chars.emplace_back(" ");
        } else {
            chars.emplace_back(text, i, len);
        }
        i += len;
    }
    std::string shown;
    const bool cut = chars.size() > most;
    const std::size_t keep = cut ? (most > 0 ? most - 1 : 0) : chars.size();
    for (std::size_t i = 0; i < keep; i++) shown += chars[i];
    if (cut) shown += "\xe2\x80\xa6"; // …
    return shown;
}

std::string quoted(std::string_view s) {
    std::string q(1, '\'');
    q.append(s);
    q += '\'';
    return q;
}

} // namespace starlume
