#pragma once
// Packs on disc as a Photo CD lays them out (IMAGES/ beside IPE/), the user's preferences
// in a fresh home, and a decoder whose answers a test can script and count.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "photocd/pcdDecode.h"
#include "photocd/wrapper/PhotoCdImageWrapper.h"
#include "platform/UserDefaults.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/PhotoCdBuilder.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TempHome.h"

namespace pcdwrap {

// What a scripted decoder does instead of the real one; counts what it was asked.
struct Script {
    int parses = 0, builds = 0, reads = 0;
    bool parseFailsSilently = false;
    std::optional<std::string> buildFailure; // the text a failed build leaves
    std::map<int, std::string> items;        // metadata values answered instead of the header's
};

class ScriptedDecoder : public pcdDecode {
  public:
    explicit ScriptedDecoder(Script& script) : script_(script) {}
    bool parseFile(const std::string& path, const std::string& ipePath, int maximumLevel) override {
        ++script_.parses;
        if (script_.parseFailsSilently) return false;
        return pcdDecode::parseFile(path, ipePath, maximumLevel);
    }
    bool buildHigherLevels() override {
        ++script_.builds;
        if (!script_.buildFailure) return pcdDecode::buildHigherLevels();
        failure_ = *script_.buildFailure;
        return false;
    }
    std::string errorText() const override { return failure_.empty() ? pcdDecode::errorText() : failure_; }
    bool read16BitImage(uint16_t* r, uint16_t* g, uint16_t* b, uint16_t* a, int step) override {
        ++script_.reads;
        return pcdDecode::read16BitImage(r, g, b, a, step);
    }
    void metadataByIndex(int index, std::string& name, std::string& value) const override {
        pcdDecode::metadataByIndex(index, name, value);
        if (auto it = script_.items.find(index); it != script_.items.end()) value = it->second;
    }

  private:
    Script& script_;
    std::string failure_;
};

class ScriptedWrapper : public PhotoCdImageWrapper {
  public:
    ScriptedWrapper(const std::filesystem::path& file, bool thumbNail, Script& script)
        : PhotoCdImageWrapper(file, "uuid-pcd", thumbNail), script_(script) {}

  protected:
    std::unique_ptr<pcdDecode> createDecoder() override { return std::make_unique<ScriptedDecoder>(script_); }

  private:
    Script& script_;
};

// A grey ramp with chroma that varies, so that a wrong sample shows.
inline testsupport::PhotoCdBuilder patternedPack(int rotation = 0) {
    testsupport::PhotoCdBuilder b;
    b.attributes(rotation, 0);
    for (int level = 0; level < 3; ++level)
        b.plainLevel(
            level, [](int r, int c) { return uint8_t((r * 3 + c) & 255); },
            [](int r, int c) { return uint8_t(120 + ((r ^ c) & 63)); },
            [](int r, int c) { return uint8_t(110 + ((r + c) & 63)); });
    return b;
}

class PhotoCdImageWrapperTest : public ::testing::Test {
  protected:
    platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

    // The pack as IMAGES/<name> on a disc folder; returns its path.
    std::filesystem::path writePack(const testsupport::PhotoCdBuilder& pack,
                                    const std::string& name = "IMG0001.PCD") {
        return testsupport::writeFile(disc() / "IMAGES", name, pack.data());
    }
    std::filesystem::path disc() const { return folder_.path() / "DISC"; }
    std::filesystem::path ipeIndex(const std::string& stem = "IMG0001") const {
        return disc() / "IPE" / stem / "64BASE" / "INFO.IC";
    }

    testsupport::TempHome home_;
    testsupport::TempFolder folder_;
};

} // namespace pcdwrap
