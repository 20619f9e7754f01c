// Choosing a capture device from what the user typed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace starlume {

struct Devicepick {
    int index = -1;           // the device chosen, or -1
    std::vector<int> matches; // when the name fits several devices: all of them
};

// Picks from names (numbered from 0, as --list-devices shows them) the one
// named exactly wanted, else the only one with wanted in its name (letter
// case aside), else the one numbered wanted.
Devicepick pickdevice(const std::vector<std::string>& names, std::string_view wanted);

} // namespace starlume
