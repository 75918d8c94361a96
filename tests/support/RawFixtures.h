#pragma once
// Small whole raw files made by the builders, one per container or loader family: the
// corruption test damages them and the fuzzer starts from them.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RawFixture {
    std::string name; // a file name with the format's usual extension
    std::vector<uint8_t> bytes;
};

std::vector<RawFixture> rawFixtures();

} // namespace testsupport
