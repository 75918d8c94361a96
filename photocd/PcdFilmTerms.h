#pragma once
// Scene-balance film terms: the code stored in the header and the film it names.
#include <cstdint>

namespace photocd {

struct PcdFilmTerm {
    int16_t code;
    int16_t code2;
    int16_t code3;
    int16_t reserved;
    const char* name;
};

// nullptr for a code the table does not hold.
const PcdFilmTerm* findFilmTerm(int code);

} // namespace photocd
