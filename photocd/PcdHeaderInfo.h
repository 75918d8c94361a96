#pragma once
// The metadata items an image pack's header carries, as name and value texts.
#include <cstdint>
#include <string>

namespace photocd {

constexpr int kMetadataItemCount = 20;

// `header` holds the pack's first three sectors. Unknown items give "Error" for both texts.
void headerMetadataItem(const uint8_t* header, int index, std::string& name, std::string& value);

int headerImageMedium(const uint8_t* header);
int64_t headerScanningTime(const uint8_t* header);
bool headerHasSceneBalance(const uint8_t* header);
int headerFilmTermCode(const uint8_t* header);

} // namespace photocd
