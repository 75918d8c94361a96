#include "raw/tiff/exifEngine.h"

#include "platform/ImageProperties.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace platform;

namespace {

// Bytes in a chosen byte order.
struct Bytes {
    bool little;
    std::vector<uint8_t> data;

    explicit Bytes(bool littleEndian) : little(littleEndian) {}
    Bytes& u8(std::initializer_list<int> values) {
        for (int v : values)
            data.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(uint32_t v) {
        return little ? u8({int(v & 0xff), int(v >> 8 & 0xff)}) : u8({int(v >> 8 & 0xff), int(v & 0xff)});
    }
    Bytes& u32(uint32_t v) { return little ? u16(v & 0xffff).u16(v >> 16) : u16(v >> 16).u16(v & 0xffff); }
    Bytes& rational(uint32_t num, uint32_t den) { return u32(num).u32(den); }
    Bytes& text(std::string_view s) {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
};

// An in-memory FILE*, as the decoder's parsers hand over.
class MemoryFile {
  public:
    explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
        if (bytes_.empty()) bytes_.push_back(0);
        file_ = fmemopen(bytes_.data(), bytes_.size(), "rb");
    }
    ~MemoryFile() { fclose(file_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    FILE* get() const { return file_; }

  private:
    std::vector<uint8_t> bytes_;
    FILE* file_;
};

// One directory entry of a test TIFF. pointsTo >= 0 makes the value the offset of that
// directory.
struct Entry {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint8_t> value;
    int pointsTo = -1;
};

// A TIFF whose directories follow the header one after another, each followed by the
// values that do not fit in their entries.
std::vector<uint8_t> buildTiff(bool little, const std::vector<std::vector<Entry>>& directories) {
    std::vector<uint32_t> offsets;
    uint32_t at = 8;
    for (const auto& dir : directories) {
        offsets.push_back(at);
        at += 2 + 12 * uint32_t(dir.size()) + 4;
        for (const Entry& e : dir)
            if (e.value.size() > 4) at += uint32_t(e.value.size() + 1) & ~1u;
    }
    Bytes out(little);
    out.text(little ? "II" : "MM").u16(42).u32(offsets.at(0));
    for (size_t d = 0; d < directories.size(); ++d) {
        const auto& dir = directories[d];
        uint32_t data = offsets[d] + 2 + 12 * uint32_t(dir.size()) + 4;
        Bytes tail(little);
        out.u16(uint16_t(dir.size()));
        for (const Entry& e : dir) {
            out.u16(e.tag).u16(e.type).u32(e.count);
            if (e.pointsTo >= 0) {
                out.u32(offsets.at(e.pointsTo));
            } else if (e.value.size() <= 4) {
                std::vector<uint8_t> inline4 = e.value;
                inline4.resize(4);
                out.data.insert(out.data.end(), inline4.begin(), inline4.end());
            } else {
                out.u32(data);
                tail.data.insert(tail.data.end(), e.value.begin(), e.value.end());
                if (e.value.size() % 2) tail.u8({0});
                data += uint32_t(e.value.size() + 1) & ~1u;
            }
        }
        out.u32(0);
        out.data.insert(out.data.end(), tail.data.begin(), tail.data.end());
    }
    return out.data;
}

// A JPEG whose EXIF APP1 block carries the given TIFF.
std::vector<uint8_t> exifJpeg(const std::vector<uint8_t>& tiff) {
    const size_t length = tiff.size() + 8;
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x',
                                 'i',  'f',  0,    0};
    jpeg.insert(jpeg.end(), tiff.begin(), tiff.end());
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    return jpeg;
}

const Value* lookup(const Value& root, const char* dictionary, const char* key) {
    const Value* d = dictionary ? root.find(dictionary) : &root;
    return d ? d->find(key) : nullptr;
}

const char* order(bool little) { return little ? "II" : "MM"; }

struct ValueCase {
    const char* what;
    uint32_t tag, type, count;
    bool gps;
    std::function<void(Bytes&)> value;
    const char* dictionary; // where the result lands (nullptr: the root)
    const char* key;        // nullptr: nothing is added at all
    Value expected;
};

Array ints(std::initializer_list<int> v) {
    Array a;
    for (int i : v)
        a.emplace_back(i);
    return a;
}

const std::vector<ValueCase>& valueCases() {
    static const std::vector<ValueCase> cases = {
        {"rational exposure time is a real", 33434, 5, 1, false, [](Bytes& b) { b.rational(1, 250); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureTime, Value(0.004)},
        {"rational with zero denominator is 0", 33437, 5, 1, false, [](Bytes& b) { b.rational(28, 0); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifFNumber, Value(0.0)},
        {"signed rational", 37380, 10, 1, false, [](Bytes& b) { b.rational(uint32_t(-1), 3); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureBiasValue, Value(-0.33333334)},
        {"version digits 0230", 36864, 7, 4, false, [](Bytes& b) { b.text("0230"); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifVersion, Value(ints({2, 3}))},
        {"version digits 0221", 36864, 7, 4, false, [](Bytes& b) { b.text("0221"); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifVersion, Value(ints({2, 21}))},
        {"FlashPix version", 40960, 7, 4, false, [](Bytes& b) { b.text("0100"); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifFlashPixVersion, Value(ints({1, 0}))},
        {"DNG version bytes give major and minor", 50706, 1, 4, false,
         [](Bytes& b) {
             b.u8({1, 4, 0, 0});
         },
         kCGImagePropertyDNGDictionary, kCGImagePropertyDNGVersion, Value(ints({1, 4}))},
        {"one SHORT ISO becomes a one-element array", 34855, 3, 1, false, [](Bytes& b) { b.u16(200).u16(0); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifISOSpeedRatings, Value(ints({200}))},
        {"SHORT array", 258, 3, 3, false, [](Bytes& b) { b.u16(12).u16(12).u16(12); }, nullptr,
         kCGImagePropertyDepth, Value(ints({12, 12, 12}))},
        {"LONG above 2^31 stays unsigned", 256, 4, 1, false, [](Bytes& b) { b.u32(0x80000000u); }, nullptr,
         kCGImagePropertyPixelWidth, Value(int64_t(0x80000000u))},
        {"count 0 gives an empty array", 37396, 3, 0, false, [](Bytes& b) { b.u32(0); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifSubjectArea, Value(Array{})},
        {"signed SHORT", 37383, 8, 1, false, [](Bytes& b) { b.u16(0xfffe).u16(0); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifMeteringMode, Value(-2)},
        {"FLOAT", 37382, 11, 1, false, [](Bytes& b) { b.u32(0x40200000); }, kCGImagePropertyExifDictionary,
         kCGImagePropertyExifSubjectDistance, Value(2.5)},
        {"DOUBLE", 37382, 12, 1, false,
         [](Bytes& b) { b.u32(b.little ? 0 : 0x3FF40000).u32(b.little ? 0x3FF40000 : 0); },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifSubjectDistance, Value(1.25)},
        {"ASCII stops at the first NUL", 271, 2, 9, false,
         [](Bytes& b) {
             b.text("NIKON").u8({0, 0, 0, 0});
         },
         kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFMake, Value("NIKON")},
        {"ASCII that is UTF-8 stays UTF-8", 315, 2, 6, false, [](Bytes& b) { b.text("J\xC3\xBCrg").u8({0}); },
         kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFArtist, Value("J\xC3\xBCrg")},
        {"ASCII in Latin-1 becomes UTF-8", 315, 2, 5, false, [](Bytes& b) { b.text("J\xFCrg").u8({0}); },
         kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFArtist, Value("J\xC3\xBCrg")},
        {"UTF-16 text", 33432, 14, 3, false, [](Bytes& b) { b.u16('A').u16(0xE9).u16(0); },
         kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFCopyright, Value("A\xC3\xA9")},
        {"ASCII user comment, trailing blanks dropped", 37510, 7, 16, false,
         [](Bytes& b) {
             b.text("ASCII").u8({0, 0, 0}).text("Hi  ").u8({0, 0, 0, 0});
         },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifUserComment, Value("Hi")},
        {"UNICODE user comment", 37510, 7, 12, false,
         [](Bytes& b) { b.text("UNICODE").u8({0}).u16('O').u16('k'); }, kCGImagePropertyExifDictionary,
         kCGImagePropertyExifUserComment, Value("Ok")},
        {"JIS user comment", 37510, 7, 12, false,
         [](Bytes& b) {
             b.text("JIS").u8({0, 0, 0, 0, 0, 0x46, 0x7C, 0x4B, 0x5C});
         },
         kCGImagePropertyExifDictionary, kCGImagePropertyExifUserComment, Value("\xE6\x97\xA5\xE6\x9C\xAC")},
        {"GPS version bytes", 0, 1, 4, true,
         [](Bytes& b) {
             b.u8({2, 2, 0, 0});
         },
         kCGImagePropertyGPSDictionary, kCGImagePropertyGPSVersion, Value(ints({2, 2, 0, 0}))},
        {"GPS latitude to decimal degrees", 2, 5, 3, true,
         [](Bytes& b) { b.rational(48, 1).rational(51, 1).rational(30, 1); }, kCGImagePropertyGPSDictionary,
         kCGImagePropertyGPSLatitude, Value(48.858334)},
        {"GPS latitude reference", 1, 2, 2, true,
         [](Bytes& b) {
             b.text("N").u8({0, 0, 0});
         },
         kCGImagePropertyGPSDictionary, kCGImagePropertyGPSLatitudeRef, Value("N")},
        {"GPS time stamp text", 7, 5, 3, true,
         [](Bytes& b) { b.rational(14, 1).rational(5, 1).rational(9, 2); }, kCGImagePropertyGPSDictionary,
         kCGImagePropertyGPSTimeStamp, Value("14: 5:4.50")},
        // Nothing added:
        {"ASCII header with only blanks", 37510, 7, 14, false,
         [](Bytes& b) {
             b.text("ASCII").u8({0, 0, 0}).text("      ");
         },
         nullptr, nullptr, Value()},
        {"user comment shorter than its header", 37510, 7, 8, false,
         [](Bytes& b) {
             b.text("ASCII").u8({0, 0, 0});
         },
         nullptr, nullptr, Value()},
        {"ASCII of one byte", 271, 2, 1, false,
         [](Bytes& b) {
             b.u8({'A', 0, 0, 0});
         },
         nullptr, nullptr, Value()},
        {"ASCII starting with NUL", 272, 2, 4, false,
         [](Bytes& b) {
             b.u8({0, 'A', 'B', 0});
         },
         nullptr, nullptr, Value()},
        {"disabled row: Orientation", 274, 3, 1, false, [](Bytes& b) { b.u16(6).u16(0); }, nullptr, nullptr,
         Value()},
        {"disabled row: MakerNote", 37500, 7, 4, false, [](Bytes& b) { b.text("abcd"); }, nullptr, nullptr,
         Value()},
        {"disabled row: ComponentsConfiguration", 37121, 7, 4, false,
         [](Bytes& b) {
             b.u8({1, 2, 3, 0});
         },
         nullptr, nullptr, Value()},
        {"enabled row without key: ImageNumber", 37393, 4, 1, false, [](Bytes& b) { b.u32(7); }, nullptr,
         nullptr, Value()},
        {"unknown tag", 999, 3, 1, false, [](Bytes& b) { b.u32(1); }, nullptr, nullptr, Value()},
        {"GPS tag outside the GPS table", 2, 5, 1, false, [](Bytes& b) { b.rational(1, 1); }, nullptr,
         nullptr, Value()},
        {"type 13 gives nothing", 33434, 13, 1, false, [](Bytes& b) { b.u32(1); }, nullptr, nullptr, Value()},
        {"type 99 is refused", 33434, 99, 1, false, [](Bytes& b) { b.u32(1); }, nullptr, nullptr, Value()},
        {"size beyond the end of the file", 271, 2, 100, false, [](Bytes& b) { b.text("Canon"); }, nullptr,
         nullptr, Value()},
        {"count x size past 32 bits", 33434, 5, 0xFFFFFFFF, false, [](Bytes& b) { b.rational(1, 2); },
         nullptr, nullptr, Value()},
        {"a count too large for an array", 37396, 1, 70000, false, [](Bytes& b) { b.data.resize(70000); },
         nullptr, nullptr, Value()},
    };
    return cases;
}

TEST(exifEngine, ConvertsEachEntryInBothByteOrders) {
    for (bool little : {true, false}) {
        for (const ValueCase& c : valueCases()) {
            SCOPED_TRACE(std::string(c.what) + " " + order(little));
            Bytes bytes(little);
            bytes.text("xyz"); // the value does not start the file
            c.value(bytes);
            MemoryFile file(bytes.data);
            fseek(file.get(), 3, SEEK_SET);

            exifEngine engine;
            engine.setByteOrder(little);
            engine.addTag(file.get(), c.tag, c.type, c.count, c.gps);

            EXPECT_EQ(ftell(file.get()), 3);
            const Value root = engine.copyDictionary();
            if (!c.key) {
                EXPECT_TRUE(root.isNull());
                continue;
            }
            const Value* got = lookup(root, c.dictionary, c.key);
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(*got, c.expected) << "got " << got->stringValue();
            const Dictionary* top = root.dictionary();
            EXPECT_EQ(top->size(), 1u); // nothing else was added
        }
    }
}

// Writes ImageWidth and ImageLength as a directory of the given size would.
void addSize(exifEngine& engine, uint32_t width, uint32_t height) {
    Bytes b(true);
    b.u32(width).u32(height);
    MemoryFile file(b.data);
    engine.addTag(file.get(), 256, 4, 1, false);
    fseek(file.get(), 4, SEEK_SET);
    engine.addTag(file.get(), 257, 4, 1, false);
}

TEST(exifEngine, KeepsTheLargestImageSize) {
    exifEngine engine;
    engine.setByteOrder(true);
    addSize(engine, 6000, 4000);
    addSize(engine, 160, 120); // a thumbnail directory
    Value root = engine.copyDictionary();
    EXPECT_EQ(*root.find(kCGImagePropertyPixelWidth), Value(6000));
    EXPECT_EQ(*root.find(kCGImagePropertyPixelHeight), Value(4000));

    addSize(engine, 6016, 3000); // each dimension on its own
    root = engine.copyDictionary();
    EXPECT_EQ(*root.find(kCGImagePropertyPixelWidth), Value(6016));
    EXPECT_EQ(*root.find(kCGImagePropertyPixelHeight), Value(4000));
}

TEST(exifEngine, LaterEntryReplacesEarlierOne) {
    exifEngine engine;
    for (const char* make : {"Canon", "Leica"}) {
        std::vector<uint8_t> text(make, make + 6);
        MemoryFile file(text);
        engine.addTag(file.get(), 271, 2, 6, false);
    }
    EXPECT_EQ(*lookup(engine.copyDictionary(), kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFMake),
              Value("Leica"));
}

Entry ascii(uint16_t tag, const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return {tag, 2, uint32_t(v.size()), v};
}

Entry rational(bool little, uint16_t tag, uint32_t num, uint32_t den) {
    return {tag, 5, 1, Bytes(little).rational(num, den).data};
}

Entry shortValue(bool little, uint16_t tag, uint16_t v) { return {tag, 3, 1, Bytes(little).u16(v).data}; }

Entry exifPointer(int directory) { return {34665, 4, 1, {}, directory}; }

// A raw file (in the outer byte order) that holds a JPEG with an EXIF block at offset 5,
// followed by an FNumber value in the outer byte order.
struct EmbeddedFixture {
    std::vector<uint8_t> file;
    uint32_t jpegLength = 0;
    long fNumberAt = 0;

    EmbeddedFixture(bool outerLittle, const std::vector<uint8_t>& tiff) {
        const std::vector<uint8_t> jpeg = exifJpeg(tiff);
        jpegLength = uint32_t(jpeg.size());
        file = {'r', 'a', 'w', '!', '!'};
        file.insert(file.end(), jpeg.begin(), jpeg.end());
        fNumberAt = long(file.size());
        const auto fNumber = Bytes(outerLittle).rational(28, 10).data;
        file.insert(file.end(), fNumber.begin(), fNumber.end());
    }
};

TEST(exifEngine, WalksTheTiffInsideAnEmbeddedJpeg) {
    for (bool innerLittle : {true, false}) {
        SCOPED_TRACE(order(innerLittle));
        const bool outerLittle = !innerLittle;
        const auto tiff =
            buildTiff(innerLittle, {
                                       {ascii(271, "Canon"), ascii(272, "Canon EOS 350D DIGITAL"),
                                        shortValue(innerLittle, 274, 1), exifPointer(1)},
                                       {rational(innerLittle, 33434, 1, 15),
                                        shortValue(innerLittle, 34855, 400),
                                        ascii(36867, "2005:08:03 18:59:18"),
                                        {36864, 7, 4, {'0', '2', '2', '1'}}},
                                   });
        EmbeddedFixture fixture(outerLittle, tiff);
        MemoryFile file(fixture.file);
        exifEngine engine;
        engine.setByteOrder(outerLittle);
        fseek(file.get(), 5, SEEK_SET);
        engine.addTag(file.get(), 46, 7, fixture.jpegLength, false);
        EXPECT_EQ(ftell(file.get()), 5);
        EXPECT_EQ(engine.lastError(), "");

        // The enclosing directory goes on in its own byte order.
        fseek(file.get(), fixture.fNumberAt, SEEK_SET);
        engine.addTag(file.get(), 33437, 5, 1, false);

        const Value root = engine.copyDictionary();
        const char* tiffDict = kCGImagePropertyTIFFDictionary;
        const char* exifDict = kCGImagePropertyExifDictionary;
        EXPECT_EQ(*lookup(root, tiffDict, kCGImagePropertyTIFFMake), Value("Canon"));
        EXPECT_EQ(*lookup(root, tiffDict, kCGImagePropertyTIFFModel), Value("Canon EOS 350D DIGITAL"));
        EXPECT_EQ(lookup(root, tiffDict, kCGImagePropertyTIFFOrientation), nullptr);
        EXPECT_EQ(*lookup(root, exifDict, kCGImagePropertyExifExposureTime), Value(0.06666667));
        EXPECT_EQ(*lookup(root, exifDict, kCGImagePropertyExifISOSpeedRatings), Value(ints({400})));
        EXPECT_EQ(*lookup(root, exifDict, kCGImagePropertyExifDateTimeOriginal),
                  Value("2005:08:03 18:59:18"));
        EXPECT_EQ(*lookup(root, exifDict, kCGImagePropertyExifVersion), Value(ints({2, 21})));
        EXPECT_EQ(*lookup(root, exifDict, kCGImagePropertyExifFNumber), Value(2.8));
    }
}

TEST(exifEngine, EmbeddedWalkStopsOnDirectoryLoops) {
    const bool little = true;
    struct LoopCase {
        const char* what;
        std::vector<std::vector<Entry>> directories;
    };
    const std::vector<LoopCase> cases = {
        {"EXIF directory points at itself",
         {{ascii(271, "Canon"), exifPointer(1)}, {rational(little, 33434, 1, 250), exifPointer(1)}}},
        {"EXIF directory points back at the first",
         {{ascii(271, "Canon"), exifPointer(1)}, {rational(little, 33434, 1, 250), exifPointer(0)}}},
    };
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.what);
        EmbeddedFixture fixture(little, buildTiff(little, c.directories));
        MemoryFile file(fixture.file);
        exifEngine engine;
        fseek(file.get(), 5, SEEK_SET);
        engine.addTag(file.get(), 46, 7, fixture.jpegLength, false);
        const Value root = engine.copyDictionary();
        EXPECT_EQ(*lookup(root, kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFMake), Value("Canon"));
        EXPECT_EQ(*lookup(root, kCGImagePropertyExifDictionary, kCGImagePropertyExifExposureTime),
                  Value(0.004));
    }
}

TEST(exifEngine, DamagedEmbeddedTiffLeavesAnErrorAndNoCrash) {
    const bool little = false;
    const auto good = buildTiff(little, {{ascii(271, "Canon"), ascii(272, "A model name"), exifPointer(1)},
                                         {rational(little, 33434, 1, 250)}});
    // Offsets are from the start of the TIFF; the first directory is at 8, its entries at
    // 10, 22 and 34, each with its value or offset 8 bytes in.
    struct DamageCase {
        const char* what;
        std::function<void(std::vector<uint8_t>&, size_t)> damage;
        const char* error;
        bool makeKept;
    };
    const std::vector<DamageCase> cases = {
        {"header cut short", [](auto& f, size_t t) { f.resize(t + 5); }, "TIFF file is too small to be valid",
         false},
        {"wrong byte-order mark", [](auto& f, size_t t) { f[t] = f[t + 1] = 'X'; },
         "File magic number did not match", false},
        {"wrong magic number", [](auto& f, size_t t) { f[t + 3] = 43; }, "File magic number did not match",
         false},
        {"first directory past the end", [](auto& f, size_t t) { f[t + 4] = 0x7f; },
         "IFD Offset could not be read", false},
        {"directory entries cut short", [](auto& f, size_t t) { f.resize(t + 28); }, "IFD could not be read",
         false},
        {"value offset past the end", [](auto& f, size_t t) { f[t + 18] = 0x7f; }, "", false},
        {"EXIF directory past the end", [](auto& f, size_t t) { f[t + 42] = 0x7f; },
         "IFD Offset could not be read", true},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.what);
        EmbeddedFixture fixture(little, good);
        c.damage(fixture.file, 5 + 12);
        MemoryFile file(fixture.file);
        exifEngine engine;
        fseek(file.get(), 5, SEEK_SET);
        engine.addTag(file.get(), 46, 7, fixture.jpegLength, false);
        EXPECT_EQ(engine.lastError(), c.error);
        EXPECT_EQ(ftell(file.get()), 5);
        const Value root = engine.copyDictionary();
        EXPECT_EQ(lookup(root, kCGImagePropertyTIFFDictionary, kCGImagePropertyTIFFMake) != nullptr,
                  c.makeKept);
    }
}

TEST(exifEngine, JpegWithoutExifBlockIsNotWalked) {
    std::vector<uint8_t> jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 'I', 'I', 42, 0};
    MemoryFile file(jfif);
    exifEngine engine;
    engine.addTag(file.get(), 46, 7, uint32_t(jfif.size()), false);
    EXPECT_TRUE(engine.copyDictionary().isNull());
    EXPECT_EQ(engine.lastError(), "");
}

TEST(exifEngine, DumpTagPrintsNameAndValue) {
    MemoryFile file(Bytes(true).rational(1, 250).data);
    exifEngine engine;
    engine.setByteOrder(true);
    testing::internal::CaptureStdout();
    engine.dumpTag(file.get(), 33434, 5, 1, raw::exifMainTags());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "ExposureTime (33434): Rational data 0.004\n");
    EXPECT_EQ(ftell(file.get()), 0);
}

} // namespace
