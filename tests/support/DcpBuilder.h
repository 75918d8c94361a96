#pragma once
// Builds DCP camera-profile files for tests: a TIFF-like header with the profile magic and
// one directory holding whatever tags the test fills in.
//
//   auto bytes = BuildDcp([](TiffBuilder::Ifd& ifd) {
//       ifd.ascii(50936, "Studio").srationals(50721, Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}));
//   });
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "tests/support/TiffBuilder.h"

namespace testsupport {

inline constexpr uint16_t kDcpMagic = 0x4352;

// Signed rationals over 10000, as profiles store their matrices.
std::vector<std::pair<int32_t, int32_t>> Rationals(std::initializer_list<double> values);

// A DCP with one directory of the given tags.
std::vector<uint8_t> BuildDcp(const std::function<void(TiffBuilder::Ifd&)>& fill,
                              TiffBuilder::Order order = TiffBuilder::Order::Little);

} // namespace testsupport
