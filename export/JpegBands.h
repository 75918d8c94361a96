#pragma once
// One baseline JPEG stream from the streams the coder wrote for horizontal bands of an image,
// each coded on its own: the first band's tables, a restart interval of one band, and the
// bands' coded data one after the other, a restart marker between two. A restart starts the
// coding afresh as a new coder does, so the joined stream decodes to the pixels of one coder's
// stream of the whole image.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/JpegEncoder.h"

// The bands, top to bottom, of an image `height` rows high; every band but the last holds
// `restartInterval` MCUs (1 to 65,535). Nullopt when a stream is not what this joins: not
// one baseline scan with Huffman tables, a restart interval of its own, tables other than
// the first band's.
std::optional<EncodedJpeg> joinJpegBands(const std::vector<std::string_view>& bands, size_t height,
                                         size_t restartInterval);

// The same stream piece by piece, for bands handed in top to bottom as they are coded: the
// first bands can go out while later ones are still being coded.
class JpegBandJoiner {
  public:
    // Bands of an image `height` rows high, every band but the last `restartInterval` MCUs.
    JpegBandJoiner(size_t height, size_t restartInterval);

    // Appends to `pieces` what the next band adds to the stream: for the first, its header
    // with the image's height, the restart interval and the scan header; a restart marker for
    // every later one; then the band's coded data. The pieces point into `band` and into the
    // joiner. False, and nothing appended, when the band does not join (see joinJpegBands).
    bool add(std::string_view band, std::vector<std::string_view>& pieces);
    // The end of the stream, after the last band.
    static std::string_view end();

  private:
    bool valid_;
    size_t height_, restartInterval_;
    size_t added_ = 0;
    // The first band's header and scan header, which every later band must repeat, and what
    // the stream begins with.
    std::string header_, scanHeader_, start_;
    size_t heightAt_ = 0;
};
