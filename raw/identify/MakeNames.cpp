#include <cstring>
#include <strings.h>

#include "raw/core/TextSearch.h"
#include "raw/identify/Identify.h"
#include "raw/identify/IdentifyReading.h"

namespace raw {

// Later names win: "Konica Minolta" becomes "Minolta", and "Minolta" holds no "Konica".
const char* const make_list[kMakeListSize] = {
    "AgfaPhoto", "Canon",   "Casio", "Epson", "Fujifilm", "Mamiya",  "Minolta", "Motorola",
    "Kodak",     "Konica",  "Leica", "Nikon", "Nokia",    "Olympus", "Ricoh",   "Pentax",
    "Phase One", "Samsung", "Sigma", "Sinar", "Sony",     "YI"};

namespace {

template <size_t N> void terminate(char (&field)[N]) { field[N - 1] = 0; }

void terminate_texts(DecoderState& s) {
    terminate(s.camera_make);
    terminate(s.camera_model);
    terminate(s.model_text_2);
    terminate(s.artist_text);
    terminate(s.description_text);
}

template <size_t N> void trim_trailing_blanks(char (&field)[N]) {
    for (size_t n = std::strlen(field); n > 0 && field[n - 1] == ' '; --n)
        field[n - 1] = 0;
}

template <size_t N> void drop_prefix(char (&field)[N], size_t length) {
    std::memmove(field, field + length, N - length);
    std::memset(field + N - length, 0, length);
}

// Camera-written model texts of these makers end in boilerplate.
void cut_model_boilerplate(DecoderState& s) {
    if (std::strcmp(s.camera_make, "Kodak") != 0 && std::strcmp(s.camera_make, "Leica") != 0) return;
    char* cut = find_text_caseless(s.camera_model, " DIGITAL CAMERA");
    if (!cut) cut = std::strstr(s.camera_model, "FILE VERSION");
    if (cut) *cut = 0;
}

void drop_make_from_model(DecoderState& s) {
    const size_t n = std::strlen(s.camera_make);
    if (strncasecmp(s.camera_model, s.camera_make, n) == 0 && s.camera_model[n] == ' ')
        drop_prefix(s.camera_model, n + 1);
    if (std::strncmp(s.camera_model, "FinePix ", 8) == 0) drop_prefix(s.camera_model, 8);
    if (std::strncmp(s.camera_model, "Digital Camera ", 15) == 0) drop_prefix(s.camera_model, 15);
}

} // namespace

void normalise_make_and_model(DecoderState& s) {
    terminate_texts(s); // every search below relies on it
    for (const char* name : make_list)
        if (find_text_caseless(s.camera_make, name)) set_text(s.camera_make, name);
    cut_model_boilerplate(s);
    if (strncasecmp(s.camera_model, "PENTAX", 6) == 0) set_text(s.camera_make, "Pentax");
    trim_trailing_blanks(s.camera_make);
    trim_trailing_blanks(s.camera_model);
    drop_make_from_model(s);
    terminate_texts(s);
}

} // namespace raw
