#include "dng/dng_tiff_directory.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_memory.h"
#include "dng/dng_noise_profile.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_xmp.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void tag_data_ptr::Put(dng_stream& stream) const {
    const uint32_t size = Size();
    if (!stream.SwapBytes()) {
        stream.Put(fData, size);
        return;
    }
    switch (fType) {
    case ttShort:
    case ttSShort:
    case ttUnicode: {
        const uint16_t* p = static_cast<const uint16_t*>(fData);
        for (uint32_t i = 0; i < size / 2; ++i)
            stream.Put_uint16(p[i]);
        return;
    }
    case ttLong:
    case ttRational:
    case ttSLong:
    case ttSRational:
    case ttFloat:
    case ttIFD:
    case ttComplex: {
        const uint32_t* p = static_cast<const uint32_t*>(fData);
        for (uint32_t i = 0; i < size / 4; ++i)
            stream.Put_uint32(p[i]);
        return;
    }
    case ttDouble: {
        const double* p = static_cast<const double*>(fData);
        for (uint32_t i = 0; i < size / 8; ++i)
            stream.Put_real64(p[i]);
        return;
    }
    default:
        stream.Put(fData, size);
    }
}

tag_string::tag_string(uint16_t code, const dng_string& s, bool forceASCII)
    : tiff_tag(code, ttAscii, 0), fString(s) {
    if (!forceASCII && !fString.IsASCII()) fType = ttByte;
    fCount = fString.Length() + 1;
}

void tag_string::Put(dng_stream& stream) const { stream.Put(fString.Get(), fString.Length() + 1); }

tag_encoded_text::tag_encoded_text(uint16_t code, const dng_string& text)
    : tiff_tag(code, ttUndefined, 0), fText(text) {
    if (fText.IsASCII()) {
        fCount = 8 + fText.Length();
    } else {
        fUnits = fText.Get_UTF16(fUTF16);
        fCount = 8 + 2 * fUnits;
    }
}

void tag_encoded_text::Put(dng_stream& stream) const {
    if (fUnits == 0 && fText.IsASCII()) {
        stream.Put("ASCII\0\0\0", 8);
        stream.Put(fText.Get(), fText.Length());
        return;
    }
    stream.Put("UNICODE\0", 8);
    const uint16_t* units = fUTF16.Buffer_uint16();
    for (uint32_t i = 0; i < fUnits; ++i)
        stream.Put_uint16(units[i]);
}

tag_matrix::tag_matrix(uint16_t code, const dng_matrix& m)
    : tag_data_ptr(code, ttSRational, m.Rows() * m.Cols(), fEntry) {
    if (fCount > 16) ThrowProgramError("Matrix too large for tag_matrix");
    uint32_t index = 0;
    for (uint32_t row = 0; row < m.Rows(); ++row)
        for (uint32_t col = 0; col < m.Cols(); ++col)
            fEntry[index++].SetDouble(m[row][col], 10000);
}

tag_icc_profile::tag_icc_profile(const void* profileData, uint32_t profileSize)
    : tag_data_ptr(34675, ttUndefined, profileData ? profileSize : 0, profileData) {}

tag_cfa_pattern::tag_cfa_pattern(uint16_t code, uint32_t rows, uint32_t cols, const uint8_t* pattern)
    : tiff_tag(code, ttUndefined, rows * cols + 4), fRows(rows), fCols(cols), fPattern(pattern) {}

void tag_cfa_pattern::Put(dng_stream& stream) const {
    stream.Put_uint16(uint16_t(fCols));
    stream.Put_uint16(uint16_t(fRows));
    for (uint32_t col = 0; col < fCols; ++col)
        for (uint32_t row = 0; row < fRows; ++row)
            stream.Put_uint8(fPattern[row * 8 + col]);
}

tag_exif_date_time::tag_exif_date_time(uint16_t code, const dng_date_time& dt)
    : tag_data_ptr(code, ttAscii, 20, fData) {
    std::memset(fData, 0, sizeof(fData));
    if (dt.IsValid())
        std::snprintf(fData, sizeof(fData), "%04u:%02u:%02u %02u:%02u:%02u", dt.fYear % 10000,
                      dt.fMonth % 100, dt.fDay % 100, dt.fHour % 100, dt.fMinute % 100, dt.fSecond % 100);
}

tag_iptc::tag_iptc(const void* data, uint32_t length)
    : tiff_tag(33723, ttLong, (length + 3) / 4), fData(data), fLength(length) {}

void tag_iptc::Put(dng_stream& stream) const {
    stream.Put(fData, fLength);
    for (uint32_t pad = fLength; pad % 4 != 0; ++pad)
        stream.Put_uint8(0);
}

tag_xmp::tag_xmp(const dng_xmp* xmp) : tag_data_ptr(700, ttByte, 0, nullptr) {
    if (!xmp) return;
    fBuffer = xmp->Serialize(xmp->Allocator(), 0, 4096);
    if (fBuffer) {
        fData = fBuffer->Buffer();
        fCount = fBuffer->LogicalSize();
    }
}

tag_xmp::~tag_xmp() = default;

tag_dng_noise_profile::tag_dng_noise_profile(const dng_noise_profile& profile)
    : tag_data_ptr(51041, ttDouble, 0, fValues) {
    if (profile.NumFunctions() > dng_noise_profile::kMaxFunctions)
        ThrowProgramError("Too many noise functions in tag_dng_noise_profile.");
    for (uint32_t i = 0; i < profile.NumFunctions(); ++i) {
        fValues[2 * i] = profile.NoiseFunction(i).Scale();
        fValues[2 * i + 1] = profile.NoiseFunction(i).Offset();
    }
    fCount = 2 * profile.NumFunctions();
}

void dng_tiff_directory::Add(const tiff_tag* tag) {
    if (fEntries >= kMaxEntries) ThrowProgramError();
    uint32_t index = 0;
    while (index < fEntries && fTag[index]->Code() <= tag->Code())
        ++index;
    for (uint32_t j = fEntries; j > index; --j)
        fTag[j] = fTag[j - 1];
    fTag[index] = tag;
    ++fEntries;
}

uint32_t dng_tiff_directory::Size() const {
    if (fEntries == 0) return 0;
    uint64_t size = 2 + 12 * uint64_t(fEntries) + 4;
    for (uint32_t i = 0; i < fEntries; ++i) {
        const uint64_t tagSize = uint64_t(TagTypeSize(fTag[i]->Type())) * fTag[i]->Count();
        if (tagSize > 4) size += (tagSize + 1) & ~uint64_t(1);
    }
    if (size > 0xFFFFFFFFu) ThrowOverflow("TIFF directory too large");
    return uint32_t(size);
}

void dng_tiff_directory::Put(dng_stream& stream, offset_mode mode, uint64_t explicitBase) const {
    if (fEntries == 0) return;
    uint64_t base = 0;
    if (mode == offsetsRelativeToStream)
        base = stream.Position();
    else if (mode == offsetsRelativeToExplicitBase)
        base = explicitBase;
    uint64_t offset = base + 12 * uint64_t(fEntries) + 6;

    stream.Put_uint16(uint16_t(fEntries));
    for (uint32_t i = 0; i < fEntries; ++i) {
        const tiff_tag& tag = *fTag[i];
        stream.Put_uint16(tag.Code());
        stream.Put_uint16(tag.Type());
        stream.Put_uint32(tag.Count());
        const uint32_t size = tag.Size();
        if (size > 4) {
            if (offset > 0xFFFFFFFFu) ThrowOverflow("TIFF offset beyond 4 GiB");
            stream.Put_uint32(uint32_t(offset));
            offset += (uint64_t(size) + 1) & ~uint64_t(1);
        } else {
            tag.Put(stream);
            for (uint32_t pad = size; pad < 4; ++pad)
                stream.Put_uint8(0);
        }
    }
    stream.Put_uint32(fChained);
    for (uint32_t i = 0; i < fEntries; ++i) {
        const uint32_t size = fTag[i]->Size();
        if (size <= 4) continue;
        fTag[i]->Put(stream);
        if (size & 1) stream.Put_uint8(0);
    }
}

tiff_dng_extended_color_profile::tiff_dng_extended_color_profile(const dng_camera_profile& profile)
    : fProfile(profile) {}

void tiff_dng_extended_color_profile::Put(dng_stream& stream, bool includeModelRestriction) {
    stream.Put_uint16(stream.BigEndian() ? 0x4D4D : 0x4949);
    stream.Put_uint16(0x4352);
    stream.Put_uint32(8);
    dng_tiff_directory& directory = *this;
    profile_tag_set tagSet(directory, fProfile);
    std::unique_ptr<tag_string> restriction;
    if (includeModelRestriction && fProfile.UniqueCameraModelRestriction().NotEmpty()) {
        restriction = std::make_unique<tag_string>(50708, fProfile.UniqueCameraModelRestriction());
        Add(restriction.get());
    }
    dng_tiff_directory::Put(stream, offsetsRelativeToExplicitBase, 8);
}
