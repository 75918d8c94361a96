#pragma once
// Internal failure of one resolution level; caught where the decoder falls back.
#include <string>

namespace photocd {

struct PcdFailure {
    std::string text; // empty: the level's generic fallback message applies
};

} // namespace photocd
