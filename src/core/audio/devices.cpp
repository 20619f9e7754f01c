#include "core/audio/devices.h"

#include <algorithm>
#include <cctype>

namespace starlume {

namespace {

bool contains(std::string_view name, std::string_view part) {
    auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return std::search(name.begin(), name.end(), part.begin(), part.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != name.end();
}

} // namespace

Devicepick pickdevice(const std::vector<std::string>& names, std::string_view wanted) {
    std::vector<int> exact, part;
    for (int i = 0; i < static_cast<int>(names.size()); i++) {
        if (names[i] == wanted) exact.push_back(i);
        if (contains(names[i], wanted)) part.push_back(i);
    }
    // Two devices of the same name are as ambiguous as a part of two names.
    if (!exact.empty()) return {exact.size() == 1 ? exact[0] : -1, exact};
    if (part.size() == 1) return {part[0], part};
    const bool number =
        !wanted.empty() && wanted.size() < 10 &&
        std::all_of(wanted.begin(), wanted.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (number) {
        const int i = std::stoi(std::string(wanted));
        if (i < static_cast<int>(names.size())) return {i, {i}};
    }
    return {-1, part};
}

} // namespace starlume
