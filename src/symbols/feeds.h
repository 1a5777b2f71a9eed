#pragma once

#include <array>
#include <cstddef>

// The seven feeds an account may carry: the main window's feed box, the word searched in the
// account's feeds text, and the exchange name of the catalogue and the selection.
namespace Feeds {

struct Feed
{
    const char *boxName;
    const char *feedWord;
    const char *exchange;
};

inline constexpr std::array<Feed, 7> All = {{
    {"cashBox", "CASH", "CASH"},
    {"futureBox", "FUTURE", "FUTURE"},
    {"optionBox", "OPTION", "OPTION"},
    {"commBox", "COMM", "MCX"},
    {"currBox", "CURR", "CURRENCY"},
    {"spotBox", "SPOT", "SPOTINDEX"},
    {"agricommBox", "AgriComm", "NCDEX"},
}};

inline constexpr int Count = int(All.size());

using Flags = std::array<bool, All.size()>;

}
