#pragma once
// One baseline JPEG stream from the streams the coder wrote for horizontal bands of an image,
// each coded on its own: the first band's tables, a restart interval of one band, and the
// bands' coded data one after the other, a restart marker between two. A restart starts the
// coding afresh as a new coder does, so the joined stream decodes to the pixels of one coder's
// stream of the whole image.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "export/JpegEncoder.h"

// The bands, top to bottom, of an image `height` rows high; every band but the last holds
// `restartInterval` MCUs (1 to 65,535). Nullopt when a stream is not what this joins: not
// one baseline scan with Huffman tables, a restart interval of its own, tables other than
// the first band's.
std::optional<EncodedJpeg> joinJpegBands(const std::vector<std::string_view>& bands, size_t height,
                                         size_t restartInterval);
