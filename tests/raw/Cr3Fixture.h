#pragma once
// CR3 files built in the tests: big-endian boxes, tracks with a CMP1 or JPEG sample entry,
// and the metadata uuid with its TIFF blocks.
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport::cr3 {

using Blob = std::vector<uint8_t>;

inline void put(Blob& b, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        b.push_back(uint8_t(v >> (8 * i)));
}

inline Blob join(std::initializer_list<Blob> parts) {
    Blob out;
    for (const Blob& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Blob text(const std::string& t) { return Blob(t.begin(), t.end()); }

inline Blob box(const std::string& type, const Blob& payload) {
    Blob b;
    put(b, payload.size() + 8, 4);
    b.insert(b.end(), type.begin(), type.end());
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

struct Cmp1 {
    uint32_t width = 64, height = 48, tile_width = 64, tile_height = 48;
    uint8_t bits = 14, planes = 4, cfa = 0, encoding = 0, levels = 0;
    uint32_t header_size = 64;
    uint16_t version = 0x100;
};

// The CMP1 box: its 36-byte header and padding up to a 40-byte payload.
inline Blob cmp1(const Cmp1& c) {
    Blob p;
    put(p, 0xFF000030, 4);
    put(p, c.version, 2);
    put(p, 0, 2);
    put(p, c.width, 4);
    put(p, c.height, 4);
    put(p, c.tile_width, 4);
    put(p, c.tile_height, 4);
    p.push_back(c.bits);
    p.push_back(uint8_t(c.planes << 4 | c.cfa));
    p.push_back(uint8_t(c.encoding << 4 | c.levels));
    p.push_back(0);
    put(p, c.header_size, 4);
    put(p, 0, 8);
    return box("CMP1", p);
}

inline Blob handler(const std::string& kind) {
    return box("hdlr", join({Blob(8, 0), text(kind), Blob(12, 0)}));
}

// A sample table whose stsd holds one entry of `entry_type` with `entry_children` after
// the CRAW entry's 82 bytes.
inline Blob sample_table(const std::string& entry_type, const Blob& entry_children, uint32_t media_size,
                         uint64_t media_offset) {
    Blob entry = box(entry_type, join({Blob(82, 0), entry_children}));
    Blob stsd = box("stsd", join({Blob{0, 0, 0, 0, 0, 0, 0, 1}, entry}));
    Blob stsz;
    put(stsz, 0, 4);
    put(stsz, media_size, 4);
    put(stsz, 1, 4);
    Blob co64;
    put(co64, 0, 4);
    put(co64, 1, 4);
    put(co64, media_offset, 8);
    return box("stbl", join({stsd, box("stsz", stsz), box("co64", co64)}));
}

inline Blob track(const std::string& kind, const Blob& stbl) {
    return box("trak", box("mdia", join({handler(kind), box("minf", stbl)})));
}

inline Blob raw_track(const Cmp1& c, uint32_t media_size, uint64_t media_offset) {
    return track("vide", sample_table("CRAW", cmp1(c), media_size, media_offset));
}

inline Blob jpeg_track(uint32_t media_size, uint64_t media_offset) {
    return track("vide", sample_table("CRAW", box("JPEG", {}), media_size, media_offset));
}

inline Blob ftyp() { return box("ftyp", join({text("crx "), Blob{0, 0, 0, 1}, text("crx isom")})); }

inline Blob canon_uuid(const Blob& children) {
    const Blob id = {0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                     0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};
    return box("uuid", join({id, children}));
}

// A little-endian TIFF block with one directory of (tag, SHORT value) entries.
inline Blob tiff_block(std::initializer_list<std::pair<uint16_t, uint16_t>> entries) {
    Blob b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto le = [&b](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    le(entries.size(), 2);
    for (auto [tag, value] : entries) {
        le(tag, 2);
        le(3, 2);
        le(1, 4);
        le(value, 4);
    }
    le(0, 4);
    return b;
}

// ftyp, then moov with `moov_children`, then an mdat holding `media`; media offsets in
// the tracks are relative to the mdat payload and fixed up by the caller through
// mdat_payload_offset.
inline Blob file(const Blob& moov_children, const Blob& media = {}) {
    return join({ftyp(), box("moov", moov_children), box("mdat", media)});
}

// Where file(moov_children, ...) puts the mdat payload.
inline uint64_t mdat_payload_offset(const Blob& moov_children) {
    return ftyp().size() + 8 + moov_children.size() + 8;
}

} // namespace testsupport::cr3
