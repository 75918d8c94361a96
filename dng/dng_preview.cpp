#include "dng/dng_preview.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_image.h"
#include "dng/dng_image_writer.h"
#include "dng/dng_memory.h"
#include "dng/dng_stream.h"

#include <algorithm>

namespace {
uint32_t SubFileType(const dng_preview_info& info) { return info.fIsPrimary ? 1 : 65537; }
} // namespace

dng_preview_tag_set::dng_preview_tag_set(dng_tiff_directory& dir, const dng_preview_info& info,
                                         const dng_ifd& ifd)
    : dng_basic_tag_set(dir, ifd) {
    if (info.fApplicationName.NotEmpty()) AddTag<tag_string>(dir, 50966, info.fApplicationName, false);
    if (info.fApplicationVersion.NotEmpty()) AddTag<tag_string>(dir, 50967, info.fApplicationVersion, false);
    if (info.fSettingsName.NotEmpty()) AddTag<tag_string>(dir, 50968, info.fSettingsName, false);
    if (info.fSettingsDigest.IsValid())
        AddTag<tag_uint8_ptr>(dir, 50969, info.fSettingsDigest.data,
                              uint32_t(sizeof(info.fSettingsDigest.data)));
    if (info.fColorSpace != -1) AddTag<tag_uint32>(dir, 50970, uint32_t(info.fColorSpace));
    if (info.fDateTime.NotEmpty()) AddTag<tag_string>(dir, 50971, info.fDateTime);
    if (info.fRawToPreviewGain != 1.0) AddTag<tag_real64>(dir, 51112, info.fRawToPreviewGain);
    if (info.fCacheVersion) AddTag<tag_uint32>(dir, 51114, info.fCacheVersion);
}

dng_jpeg_preview_tag_set::dng_jpeg_preview_tag_set(dng_tiff_directory& dir, const dng_jpeg_preview& preview,
                                                   const dng_ifd& ifd)
    : dng_preview_tag_set(dir, preview.fInfo, ifd) {
    if (preview.fPhotometricInterpretation != 6) return;
    fCoefficients[0] = dng_urational(299, 1000);
    fCoefficients[1] = dng_urational(587, 1000);
    fCoefficients[2] = dng_urational(114, 1000);
    AddTag<tag_urational_ptr>(dir, 529, fCoefficients, 3);
    fSubSampling[0] = uint16_t(ifd.fYCbCrSubSampleH);
    fSubSampling[1] = uint16_t(ifd.fYCbCrSubSampleV);
    AddTag<tag_uint16_ptr>(dir, 530, fSubSampling, 2);
    AddTag<tag_uint16>(dir, 531, preview.fYCbCrPositioning);
    const uint32_t reference[6] = {0, 255, 128, 255, 128, 255};
    for (int i = 0; i < 6; ++i)
        fReferenceBlackWhite[i] = dng_urational(reference[i], 1);
    AddTag<tag_urational_ptr>(dir, 532, fReferenceBlackWhite, 6);
}

dng_image_preview::dng_image_preview() = default;
dng_image_preview::~dng_image_preview() = default;

std::unique_ptr<dng_basic_tag_set> dng_image_preview::AddTagSet(dng_tiff_directory& directory) const {
    if (!fImage) ThrowProgramError("Image preview without an image");
    fIFD.fNewSubFileType = SubFileType(fInfo);
    fIFD.fImageWidth = fImage->Width();
    fIFD.fImageLength = fImage->Height();
    fIFD.fSamplesPerPixel = fImage->Planes();
    fIFD.fPhotometricInterpretation = fImage->Planes() == 1 ? 1 : 2;
    for (uint32_t plane = 0; plane < std::min(fImage->Planes(), dng_ifd::kMaxSamples); ++plane)
        fIFD.fBitsPerSample[plane] = 8 * fImage->PixelSize();
    fIFD.SetSingleStrip();
    return std::make_unique<dng_preview_tag_set>(directory, fInfo, fIFD);
}

void dng_image_preview::WriteData(dng_host& host, dng_image_writer& writer, dng_basic_tag_set& basic,
                                  dng_stream& stream) const {
    writer.WriteImage(host, fIFD, basic, stream, *fImage);
}

uint64_t dng_image_preview::PixelCount() const {
    return fImage ? uint64_t(fImage->Width()) * fImage->Height() : 0;
}

dng_jpeg_preview::dng_jpeg_preview() = default;
dng_jpeg_preview::~dng_jpeg_preview() = default;

std::unique_ptr<dng_basic_tag_set> dng_jpeg_preview::AddTagSet(dng_tiff_directory& directory) const {
    dng_ifd ifd;
    ifd.fNewSubFileType = SubFileType(fInfo);
    ifd.fImageWidth = uint32_t(fPreviewSize.h);
    ifd.fImageLength = uint32_t(fPreviewSize.v);
    ifd.fPhotometricInterpretation = fPhotometricInterpretation;
    ifd.fBitsPerSample[0] = ifd.fBitsPerSample[1] = ifd.fBitsPerSample[2] = 8;
    ifd.fSamplesPerPixel = fPhotometricInterpretation == 1 ? 1 : 3;
    ifd.fCompression = 7;
    ifd.fYCbCrSubSampleH = uint32_t(fYCbCrSubSampling.h);
    ifd.fYCbCrSubSampleV = uint32_t(fYCbCrSubSampling.v);
    ifd.SetSingleStrip();
    return std::make_unique<dng_jpeg_preview_tag_set>(directory, *this, ifd);
}

void dng_jpeg_preview::WriteData(dng_host&, dng_image_writer&, dng_basic_tag_set& basic,
                                 dng_stream& stream) const {
    if (!fCompressedData) ThrowProgramError("JPEG preview without data");
    const uint64_t position = stream.Position();
    if (position > 0xFFFFFFFFu) ThrowOverflow("Preview beyond 4 GiB");
    const uint32_t length = fCompressedData->LogicalSize();
    basic.SetTileOffset(0, uint32_t(position));
    basic.SetTileByteCount(0, length);
    stream.Put(fCompressedData->Buffer(), length);
    if (length & 1) stream.Put_uint8(0);
}

void dng_jpeg_preview::SpoolAdobeThumbnail(dng_stream& stream) const {
    if (!fCompressedData) ThrowProgramError("JPEG preview without data");
    const uint32_t length = fCompressedData->LogicalSize();
    const uint32_t width = uint32_t(fPreviewSize.h);
    const uint32_t height = uint32_t(fPreviewSize.v);
    const uint32_t rowBytes = ((width * 24 + 31) / 32) * 4;
    stream.Put_uint32(0x3842494D);
    stream.Put_uint16(1036);
    stream.Put_uint16(0);
    stream.Put_uint32(length + 28);
    stream.Put_uint32(1);
    stream.Put_uint32(width);
    stream.Put_uint32(height);
    stream.Put_uint32(rowBytes);
    stream.Put_uint32(rowBytes * height);
    stream.Put_uint32(length);
    stream.Put_uint16(24);
    stream.Put_uint16(1);
    stream.Put(fCompressedData->Buffer(), length);
    if (length & 1) stream.Put_uint8(0);
}

dng_preview_list::~dng_preview_list() {
    while (!fPreview.empty())
        fPreview.pop_back();
}

void dng_preview_list::Append(std::unique_ptr<dng_preview>& preview) {
    if (!preview || fPreview.size() >= kMaxPreviews) return;
    fPreview.push_back(std::move(preview));
}
