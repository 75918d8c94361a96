#include "photocd/PcdFilmTerms.h"

#include <iterator>

namespace photocd {

namespace {

// Only rows whose codes come from a documented source are listed; unknown codes show as
// "Unknown film".
constexpr PcdFilmTerm kFilmTerms[] = {
    {1, 18, 7, 0, "3M ScotchColor AT 100"},
    {16, 113, -1, 0, "AGFA AGFACOLOR XRS 400 Gen 1"},
};

} // namespace

const PcdFilmTerm* findFilmTerm(int code) {
    for (const PcdFilmTerm& term : kFilmTerms)
        if (term.code == code) return &term;
    return nullptr;
}

} // namespace photocd
