// The CR3 box walk, the CMP1 header check and the choice of raw and thumbnail track.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "raw/core/DCRaw.h"
#include "raw/cr3/Cr3.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/raw/Cr3Fixture.h"
#include "tests/support/Samples.h"

using namespace testsupport::cr3;

namespace {

struct Walked {
    testsupport::ParsedFile file;
    int result;
    raw::cr3_walk walk;

    explicit Walked(Blob bytes) : file(std::move(bytes)) {
        result = raw::parse_cr3_boxes(*file.s, 0, file.file->bytes().size(), -1, walk);
    }
};

std::unique_ptr<testsupport::ParsedFile> identified(Blob bytes, uint32_t shot = 0) {
    auto f = std::make_unique<testsupport::ParsedFile>(std::move(bytes));
    f->s->shot_index = shot;
    raw::identify_cr3(*f->s);
    return f;
}

Cmp1 sized(uint32_t width, uint32_t height) {
    Cmp1 c;
    c.width = c.tile_width = width;
    c.height = c.tile_height = height;
    return c;
}

} // namespace

TEST(Cr3Boxes, ChoosesTheLargestRawTrackAndTheLargestJpeg) {
    Cmp1 big = sized(128, 96);
    big.cfa = 3;
    const Blob moov = join({jpeg_track(100, 5000), raw_track(sized(64, 48), 10, 6000),
                            raw_track(big, 20, 7000), jpeg_track(300, 8000), jpeg_track(200, 9000)});
    auto f = identified(file(moov));
    const raw::DecoderState& s = *f->s;
    EXPECT_STREQ(s.camera_make, "Canon");
    EXPECT_EQ(s.raw_count, 1u);
    EXPECT_EQ(s.cr3_selected_track, 3);
    EXPECT_EQ(s.sensor_width, 128);
    EXPECT_EQ(s.sensor_height, 96);
    EXPECT_EQ(s.sensor_data_offset, 7000u);
    EXPECT_EQ(s.cfa_pattern, 0x16161616u);
    EXPECT_EQ(s.raw_loader, raw::crx_load_raw);
    EXPECT_EQ(s.thumbnail_offset, 8000u);
    EXPECT_EQ(s.thumbnail_length, 300u);
}

TEST(Cr3Boxes, ShotIndexPicksAmongEqualTracks) {
    const Blob moov = join({raw_track(sized(64, 48), 10, 6000), raw_track(sized(64, 48), 10, 7000)});
    for (uint32_t shot : {0u, 1u, 5u}) {
        SCOPED_TRACE(shot);
        auto f = identified(file(moov), shot);
        EXPECT_EQ(f->s->raw_count, 2u);
        EXPECT_EQ(f->s->sensor_data_offset, shot == 0 ? 6000u : 7000u); // past the end: the last
    }
}

TEST(Cr3Boxes, Cmp1HeaderChecks) {
    struct Case {
        const char* what;
        Cmp1 header;
        bool valid;
    };
    auto with = [](auto change) {
        Cmp1 c;
        change(c);
        return c;
    };
    const Case cases[] = {
        {"a plain 14-bit four-plane header", Cmp1{}, true},
        {"8-bit single plane", with([](Cmp1& c) { c.planes = 1, c.bits = 8; }), true},
        {"single plane of 14 bits", with([](Cmp1& c) { c.planes = 1; }), false},
        {"8-bit four planes", with([](Cmp1& c) { c.bits = 8; }), false},
        {"zero bits", with([](Cmp1& c) { c.bits = 0; }), false},
        {"odd tile width", with([](Cmp1& c) { c.tile_width = 63; }), false},
        {"odd image height", with([](Cmp1& c) { c.height = 47, c.tile_height = 47; }), false},
        {"three planes", with([](Cmp1& c) { c.planes = 3; }), false},
        {"version 0x0200", with([](Cmp1& c) { c.version = 0x200; }), false},
        {"no media header", with([](Cmp1& c) { c.header_size = 0; }), false},
        {"15 bits, type 0", with([](Cmp1& c) { c.bits = 15; }), false},
        {"15 bits, type 1", with([](Cmp1& c) { c.bits = 15, c.encoding = 1; }), true},
        {"type 3", with([](Cmp1& c) { c.encoding = 3; }), true},
        {"type 2", with([](Cmp1& c) { c.encoding = 2; }), false},
        {"CFA layout 4", with([](Cmp1& c) { c.cfa = 4; }), false},
        {"tile wider than the image", with([](Cmp1& c) { c.tile_width = 66; }), false},
        {"zero tile height", with([](Cmp1& c) { c.tile_height = 0; }), false},
        {"three wavelet levels", with([](Cmp1& c) { c.levels = 3; }), true},
        {"four wavelet levels", with([](Cmp1& c) { c.levels = 4; }), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Blob b = cmp1(c.header);
        raw::cr3_track_record t{};
        EXPECT_EQ(raw::read_cmp1_header(b.data() + 8, t), c.valid);
        auto f = identified(file(raw_track(c.header, 10, 100)));
        EXPECT_EQ(f->s->raw_count, c.valid ? 1u : 0u);
    }
}

TEST(Cr3Boxes, SampleSizeAndOffsetPayloads) {
    // stsz: 12 bytes hold the size 4 bytes on, 16 bytes 12 bytes on, anything else refuses.
    auto track_with = [](const Blob& stsz, const Blob& co64) {
        const Blob stsd = box("stsd", join({Blob(8, 0), box("CRAW", join({Blob(82, 0), cmp1(Cmp1{})}))}));
        return file(track("vide", box("stbl", join({stsd, box("stsz", stsz), box("co64", co64)}))));
    };
    Blob co64 = Blob(8, 0);
    put(co64, 0x123456789A, 8);
    Blob stsz12(4, 0), stsz16(12, 0);
    put(stsz12, 77, 4);
    put(stsz12, 1, 4);
    put(stsz16, 88, 4);
    struct Case {
        const char* what;
        Blob stsz, co64;
        int result;
        uint32_t size;
    };
    const Case cases[] = {
        {"12-byte stsz", stsz12, co64, 0, 77},
        {"16-byte stsz", stsz16, co64, 0, 88},
        {"20-byte stsz", Blob(20, 0), co64, raw::kCr3BadStsz, 0},
        {"12-byte co64", stsz12, Blob(12, 0), raw::kCr3BadCo64, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Walked w(track_with(c.stsz, c.co64));
        EXPECT_EQ(w.result, c.result);
        EXPECT_EQ(w.file.s->cr3_tracks[1].media_size, c.size);
        if (!c.result) {
            EXPECT_EQ(w.file.s->cr3_tracks[1].media_offset, 0x123456789Au);
        }
        auto f = identified(track_with(c.stsz, c.co64));
        EXPECT_EQ(f->s->raw_count, c.result ? 0u : 1u);
    }
}

TEST(Cr3Boxes, BrokenBoxesEndTheWalk) {
    Blob long_header; // a 64-bit size whose header does not fit the range
    put(long_header, 1, 4);
    long_header.insert(long_header.end(), {'f', 'r', 'e', 'e', 0, 0});
    Blob zero_size;
    put(zero_size, 0, 4);
    zero_size.insert(zero_size.end(), {'f', 'r', 'e', 'e'});
    const Blob bad_tiff = {'I', 'M', 42, 0, 8, 0, 0, 0};
    const Blob short_stsd = box("trak", box("mdia", box("minf", box("stbl", box("stsd", Blob(12, 0))))));
    Blob short_craw = box("stsd", join({Blob(8, 0), box("CRAW", Blob(20, 0))}));
    short_craw = track("vide", box("stbl", short_craw));
    struct Case {
        const char* what;
        Blob moov;
        int result;
    };
    const Case cases[] = {
        {"zero-sized box below the top", zero_size, raw::kCr3ZeroSize},
        {"64-bit header past the range", long_header, raw::kCr3LongHeader},
        {"bad CMT1", canon_uuid(box("CMT1", bad_tiff)), raw::kCr3BadCmt1},
        {"bad CMT2", canon_uuid(box("CMT2", bad_tiff)), raw::kCr3BadCmt2},
        {"bad CMT3", canon_uuid(box("CMT3", bad_tiff)), raw::kCr3BadCmt34},
        {"bad CMT4", canon_uuid(box("CMT4", Blob(4, 0))), raw::kCr3BadCmt34},
        {"short stsd", short_stsd, raw::kCr3ShortPayload},
        {"short CRAW entry", short_craw, raw::kCr3ShortCraw},
        {"other uuid boxes are skipped", box("uuid", Blob(40, 0)), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Walked(file(c.moov)).result, c.result);
    }
}

TEST(Cr3Boxes, MetadataBlocksReachTheTiffParser) {
    const Blob cmt1 = tiff_block({{256, 1234}, {257, 567}, {274, 6}});
    const Blob moov = join({canon_uuid(box("CMT1", cmt1)), raw_track(Cmp1{}, 10, 100)});
    auto f = identified(file(moov));
    EXPECT_EQ(f->s->ifd_table[0].width, 1234u);
    EXPECT_EQ(f->s->orientation_code, 6);
}

TEST(Cr3Boxes, DeepNestingKeepsWhatWasFound) {
    Blob nest = box("skip", {});
    for (int i = 0; i < 31; ++i)
        nest = box("skip", nest);
    Walked w(file(join({raw_track(Cmp1{}, 10, 100), nest})));
    EXPECT_EQ(w.result, raw::kCr3TooDeep);
    auto f = identified(file(join({raw_track(Cmp1{}, 10, 100), nest})));
    EXPECT_EQ(f->s->raw_count, 1u);
}

TEST(Cr3Boxes, SixteenthTrackEndsTheWalk) {
    Blob moov;
    for (int i = 0; i < 17; ++i) {
        const Blob t = raw_track(sized(64 + 2 * i, 48), 10, 100 + i);
        moov.insert(moov.end(), t.begin(), t.end());
    }
    auto f = identified(file(moov));
    EXPECT_EQ(f->s->sensor_width, 64 + 2 * 14); // tracks 1 to 15 only
}

TEST(Cr3Boxes, TimedMetadataRecordsAreBounded) {
    // Records {size, type, 6 bytes}; items {size, tag}. A note item is a TIFF block.
    auto le = [](Blob& b, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    auto record = [&](uint16_t type, const Blob& items, uint32_t size_delta = 0) {
        Blob r;
        le(r, 12 + items.size() + size_delta, 4);
        le(r, type, 2);
        r.insert(r.end(), 6, 0);
        r.insert(r.end(), items.begin(), items.end());
        return r;
    };
    auto item = [&](uint32_t tag, const Blob& data, uint32_t size_delta = 0) {
        Blob i;
        le(i, 8 + data.size() + size_delta, 4);
        le(i, tag, 4);
        i.insert(i.end(), data.begin(), data.end());
        return i;
    };
    auto ctmd_file = [&](const Blob& media) {
        auto moov_for = [&](uint64_t offset) {
            return track("meta", sample_table("CTMD", {}, uint32_t(media.size()), offset));
        };
        return file(moov_for(mdat_payload_offset(moov_for(0))), media);
    };
    const Blob note = tiff_block({{1, 2}});
    struct Case {
        const char* what;
        Blob media;
        int result;
    };
    const Case cases[] = {
        {"records with a maker note", join({record(1, Blob(12, 0)), record(7, item(37500, note))}), 0},
        {"record past the track", record(1, Blob(4, 0), 100), raw::kCr3BadRecord},
        {"item past its record", record(8, item(37500, note, 100)), raw::kCr3BadRecordItem},
        {"note without a TIFF header", record(7, item(37500, Blob(12, 0))), raw::kCr3BadRecordData},
        {"type 9 notes are not read", record(9, item(37500, Blob(12, 0))), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Walked(ctmd_file(c.media)).result, c.result);
    }
}

TEST(Cr3Boxes, EveryTruncationEndsCleanly) {
    const Blob moov = join({canon_uuid(box("CMT1", tiff_block({{256, 10}}))), jpeg_track(100, 5000),
                            raw_track(Cmp1{}, 10, 6000)});
    const Blob whole = file(moov);
    for (size_t n = 0; n < whole.size(); ++n) {
        auto f = identified(Blob(whole.begin(), whole.begin() + long(n)));
        EXPECT_LE(f->s->raw_count, 1u);
    }
}

TEST(Cr3Boxes, SampleFileIsTheEosM50) {
    LV_REQUIRE_SAMPLE("CanonRaw.cr3");
    std::scoped_lock lock(DCRaw::decodeLock());
    DCRaw decoder;
    uint64_t pixelSize = 0;
    ASSERT_TRUE(decoder.loadFile(testsupport::samplePath("CanonRaw.cr3").string(), &pixelSize))
        << decoder.dcStatus();
    const raw::DecoderState& s = DCRaw::state();
    EXPECT_STREQ(s.camera_make, "Canon");
    EXPECT_STREQ(s.camera_model, "EOS M50");
    EXPECT_EQ(s.raw_count, 1u);
    EXPECT_EQ(s.cr3_selected_track, 3);
    uint16_t* buffer = nullptr;
    uint16_t width = 0, height = 0;
    // The image data were stripped: the media the track names lies past the end of the file.
    EXPECT_FALSE(decoder.processFileAndCreateBuffer("", &buffer, 0, &width, &height));
    EXPECT_EQ(decoder.dcStatus(), "Exception in crxFillBuffer");
    std::free(buffer);
}
