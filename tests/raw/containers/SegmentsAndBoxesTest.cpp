// Containers walked as sequences: JPEG segments, RIFF chunks and QuickTime-style boxes.
#include <gtest/gtest.h>

#include <string>

#include "raw/containers/Containers.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/support/TiffBuilder.h"

namespace {

using testsupport::Bytes;
using testsupport::ParsedFile;
using testsupport::TiffBuilder;

Bytes cameraTiff(const char* make, const char* model) {
    TiffBuilder tiff;
    tiff.addIfd().ascii(271, make).ascii(272, model);
    return Bytes().append(tiff.build());
}

// One EXIF directory holding the ISO speed, whose offsets count from its own start.
Bytes isoDirectory(uint16_t iso) {
    Bytes b;
    b.u16(1).u16(34855).u16(3).u32(1).u16(iso).u16(0).u32(0);
    return b;
}

Bytes segment(uint8_t mark, const Bytes& payload) {
    Bytes b(true);
    b.u8(0xFF).u8(mark).u16(uint16_t(payload.size() + 2)).append(payload.data);
    return b;
}

Bytes frameHeader(uint16_t height, uint16_t width) {
    Bytes b(true);
    b.u8(12).u16(height).u16(width).u8(1).zeros(3);
    return b;
}

// A CIFF heap with one record, the model identifier in its length word.
Bytes tinyHeap(uint32_t modelId) {
    Bytes heap;
    heap.u16(1).u16(0x5834).u32(modelId).u32(0).u32(0);
    return heap;
}

Bytes jpeg(const std::vector<Bytes>& segments) {
    Bytes b(true);
    b.u8(0xFF).u8(0xD8);
    for (const Bytes& s : segments)
        b.append(s.data);
    return b.append(segment(0xDA, Bytes().zeros(4)).data).zeros(16);
}

TEST(JpegSegments, FrameSizesAndAnEmbeddedHeap) {
    Bytes app;
    app.text("II").u32(14).text("HEAPCCDR").append(tinyHeap(0x80000001).data);
    for (uint8_t frame : {0xC0, 0xC3, 0xC9}) {
        ParsedFile f(jpeg({segment(0xE0, Bytes().zeros(14)), segment(frame, frameHeader(1728, 2376)),
                           segment(0xE2, app)})
                         .data);
        EXPECT_EQ(raw::parse_jpeg_segments(*f.s, 0), 1);
        EXPECT_EQ(f.s->sensor_height, 1728) << int(frame);
        EXPECT_EQ(f.s->sensor_width, 2376);
        EXPECT_EQ(f.s->camera_model_id, 0x80000001u);
    }
    ParsedFile other(jpeg({segment(0xC4, frameHeader(1728, 2376))}).data);
    raw::parse_jpeg_segments(*other.s, 0);
    EXPECT_EQ(other.s->sensor_width, 0);
}

TEST(JpegSegments, ExifSegmentNamesTheCamera) {
    Bytes app;
    app.text("Exif").zeros(2).append(cameraTiff("Canon", "PowerShot Pro70").data);
    ParsedFile f(jpeg({segment(0xE1, app)}).data);
    EXPECT_EQ(raw::parse_jpeg_segments(*f.s, 0), 1);
    EXPECT_STREQ(f.s->camera_make, "Canon");
    EXPECT_STREQ(f.s->camera_model, "PowerShot Pro70");
}

TEST(JpegSegments, RefusedStartsAndDamagedSegments) {
    ParsedFile notJpeg(Bytes().text("II*").zeros(20).data);
    EXPECT_EQ(raw::parse_jpeg_segments(*notJpeg.s, 0), 0);

    // A heap claiming more than its segment holds is not walked.
    Bytes app;
    app.text("II").u32(400).text("HEAPCCDR").append(tinyHeap(5).data);
    ParsedFile overlong(jpeg({segment(0xE2, app)}).data);
    EXPECT_EQ(raw::parse_jpeg_segments(*overlong.s, 0), 1);
    EXPECT_EQ(overlong.s->camera_model_id, 0u);

    // A length below 2 would lead back to the same marker for ever.
    for (uint16_t length : {0, 1}) {
        Bytes b(true);
        b.u8(0xFF).u8(0xD8).u8(0xFF).u8(0xE1).u16(length).append(segment(0xC0, frameHeader(10, 20)).data);
        ParsedFile f(b.data);
        EXPECT_EQ(raw::parse_jpeg_segments(*f.s, 0), 1);
        EXPECT_EQ(f.s->sensor_width, 0);
    }
}

Bytes chunk(const char* tag, const Bytes& payload) {
    Bytes b;
    b.text(tag).u32(uint32_t(payload.size())).append(payload.data);
    return b;
}

Bytes list(const char* tag, const char* form, const std::vector<Bytes>& chunks) {
    Bytes payload;
    payload.text(form);
    for (const Bytes& c : chunks)
        payload.append(c.data);
    return chunk(tag, payload);
}

TEST(RiffChunks, DateTextOfTheLastIditChunk) {
    const Bytes riff = list("RIFF", "AVI ",
                            {list("LIST", "hdrl", {chunk("avih", Bytes().zeros(56))}),
                             chunk("IDIT", Bytes().text("SAT JAN 15 12:34:56 2011\n").u8(0)),
                             chunk("IDIT", Bytes().text("Mon feb 07 08:09:10 2011").u8(0)),
                             chunk("JUNK", Bytes().zeros(100))});
    ParsedFile f(riff.data);
    raw::parse_riff_chunks(*f.s);
    // The second short date chunk is read too: each chunk ends where its size says.
    EXPECT_EQ(f.s->capture_time, testsupport::localSeconds(2011, 2, 7, 8, 9, 10));
}

TEST(RiffChunks, ExifRecordsOfTheNctgChunk) {
    Bytes records;
    records.u16(7).u16(4).u32(0); // another record
    records.u16(20).u16(20).append(isoDirectory(400).data).zeros(2);
    records.u16(19).u16(18).append(isoDirectory(800).data); // only 20-byte records are read
    ParsedFile f(list("RIFF", "AVI ", {chunk("nctg", records)}).data);
    raw::parse_riff_chunks(*f.s);
    EXPECT_FLOAT_EQ(f.s->iso_value, 400);
}

TEST(RiffChunks, UnreadableDatesAndDeepNesting) {
    ParsedFile badMonth(list("RIFF", "AVI ", {chunk("IDIT", Bytes().text("Sat Foo 15 12:34:56 2011"))}).data);
    raw::parse_riff_chunks(*badMonth.s);
    EXPECT_EQ(badMonth.s->capture_time, 0);
    ParsedFile tooLong(
        list("RIFF", "AVI ", {chunk("IDIT", Bytes().text("Sat Jan 15 12:34:56 2011").zeros(60))}).data);
    raw::parse_riff_chunks(*tooLong.s);
    EXPECT_EQ(tooLong.s->capture_time, 0);

    Bytes deep = chunk("IDIT", Bytes().text("Sat Jan 15 12:34:56 2011"));
    for (int i = 0; i < 2000; ++i)
        deep = list("LIST", "nest", {deep});
    ParsedFile nested(deep.data);
    raw::parse_riff_chunks(*nested.s);
    EXPECT_EQ(nested.s->capture_time, 0); // far below the deepest level followed
}

Bytes box(const char* type, const Bytes& payload) {
    Bytes b(true);
    b.u32(uint32_t(payload.size() + 8)).text(type).append(payload.data);
    return b;
}

Bytes boxes(const char* type, const std::vector<Bytes>& children) {
    Bytes payload(true);
    for (const Bytes& c : children)
        payload.append(c.data);
    return box(type, payload);
}

TEST(QuickTimeBoxes, JpegInsideTheCanonBoxes) {
    const Bytes cnda = box("CNDA", jpeg({segment(0xC0, frameHeader(2000, 3000))}));
    Bytes file = box("ftyp", Bytes().text("qt  ").zeros(4));
    file.append(
        boxes("moov", {box("mvhd", Bytes().zeros(100)), boxes("udta", {boxes("CNTH", {cnda})})}).data);
    ParsedFile f(file.data);
    raw::parse_qt_boxes(*f.s, file.size());
    EXPECT_EQ(f.s->sensor_width, 3000);
    EXPECT_EQ(f.s->sensor_height, 2000);

    Bytes broken = box("ftyp", Bytes().zeros(8));
    broken.u32(4).text("free").append(cnda.data);
    ParsedFile g(broken.data);
    raw::parse_qt_boxes(*g.s, broken.size());
    EXPECT_EQ(g.s->sensor_width, 0);
}

Bytes trackHeader(uint16_t width, uint16_t height) {
    Bytes b(true);
    b.zeros(76).u32(uint32_t(width) << 16).u32(uint32_t(height) << 16);
    return b;
}

Bytes chunkOffset(uint64_t offset) {
    Bytes b(true);
    b.u32(0).u32(1).u32(uint32_t(offset >> 32)).u32(uint32_t(offset));
    return b;
}

Bytes track(uint16_t width, uint16_t height, const std::vector<Bytes>& table) {
    return boxes("trak", {box("tkhd", trackHeader(width, height)),
                          boxes("mdia", {boxes("minf", {boxes("stbl", table)})})});
}

TEST(CmtBoxes, PreviewAndSensorTracks) {
    const uint8_t moovUuid[16] = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                  0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};
    Bytes uuid(true);
    uuid.append(std::vector<uint8_t>(moovUuid, moovUuid + 16)).append(box("tkhd", trackHeader(1, 1)).data);
    uuid.append(box("CMT1", cameraTiff("Canon", "EOS M50")).data);
    Bytes exif;
    exif.text("II").u16(42).u32(8).append(isoDirectory(1600).data);
    uuid.append(box("CMT2", exif).data);
    const Bytes file = boxes("moov", {box("uuid", uuid),
                                      track(1620, 1080,
                                            {box("stsz", Bytes(true).u32(0).u32(5000).u32(1)),
                                             box("co64", chunkOffset((uint64_t(1) << 32) | 77))}),
                                      track(160, 120, {box("co64", chunkOffset(99))}),
                                      track(6000, 4000,
                                            {box("stsz", Bytes(true).u32(0).u32(0).u32(1).u32(9000)),
                                             box("co64", chunkOffset(123456))})});
    ParsedFile f(file.data);
    raw::parse_cmt_boxes(*f.s, file.size());
    const raw::DecoderState& s = *f.s;
    EXPECT_STREQ(s.camera_make, "Canon");
    EXPECT_STREQ(s.camera_model, "EOS M50");
    EXPECT_FLOAT_EQ(s.iso_value, 1600);
    EXPECT_EQ(s.thumbnail_width, 1620);
    EXPECT_EQ(s.thumbnail_height, 1080);
    EXPECT_EQ(s.thumbnail_length, 5000u);
    EXPECT_EQ(s.thumbnail_offset, (uint64_t(1) << 32) | 77);
    EXPECT_EQ(s.sensor_width, 6000);
    EXPECT_EQ(s.sensor_height, 4000);
    EXPECT_EQ(s.sensor_data_offset, 123456u);
    EXPECT_EQ(s.raw_loader, &raw::empty_loader);
}

} // namespace
