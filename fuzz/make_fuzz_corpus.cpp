// Writes the tests' builder-made files into a folder, as the fuzzer's seed corpus.
#include <cstdio>
#include <filesystem>

#include "tests/support/MemoryFile.h"
#include "tests/support/RawFixtures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    for (const auto& fixture : testsupport::rawFixtures())
        testsupport::writeFile(argv[1], fixture.name, fixture.bytes);
    return 0;
}
