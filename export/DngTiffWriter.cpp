#include "export/DngTiffWriter.h"

#include "dng/dng_atomic_file_stream.h"
#include "dng/dng_camera_profile.h"
#include "dng/dng_color_space.h"
#include "dng/dng_date_time.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_exif.h"
#include "dng/dng_file_stream.h"
#include "dng/dng_ifd.h"
#include "dng/dng_image_writer.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_orientation.h"
#include "dng/dng_preview.h"
#include "dng/dng_render.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"
#include "platform/Log.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

constexpr uint32_t kChunk = 65536;
constexpr uint32_t kDeflateArea = 131072;

// The error a user sees for a DNG code: the code's text, then the system's reason when a
// system call failed.
platform::Error DngError(int32_t code, int systemError = 0) {
    std::string text = dng_error_text(code);
    if (systemError) text += std::string(" ") + std::strerror(systemError) + ".";
    return {std::string(kDngErrorDomain), code, std::move(text)};
}

// Runs one step; false, with the DNG error of whatever it threw, when it throws. The throw
// site's own reason goes to the log.
template <typename Step> bool Guarded(platform::Error* error, Step&& step) {
    try {
        step();
        return true;
    } catch (const dng_system_exception& e) {
        LV_LOG("DNG export failed: %s", e.what());
        return platform::fail(error, DngError(e.ErrorCode(), e.SystemError()));
    } catch (const dng_exception& e) {
        LV_LOG("DNG export failed: %s", e.what());
        return platform::fail(error, DngError(e.ErrorCode()));
    } catch (const std::bad_alloc&) {
        return platform::fail(error, DngError(dng_error_memory));
    } catch (...) {
        return platform::fail(error, DngError(dng_error_unknown));
    }
}

bool Contains(std::string text, const char* part) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text.find(part) != std::string::npos;
}

int32_t BayerPhase(uint32_t code) {
    switch (code) {
    case DngTiffWriter::kCFA_GRBG:
        return 0;
    case DngTiffWriter::kCFA_RGGB:
        return 1;
    case DngTiffWriter::kCFA_GBRG:
        return 2;
    case DngTiffWriter::kCFA_BGGR:
        return 3;
    default:
        return -1;
    }
}

// Rows the grey pass reads at a time, so it never holds a second whole image.
constexpr uint32_t kGreyBandRows = 256;

// The render's colour matrices leave a grey's channels a few levels apart (its camera white
// is a rounded chromaticity, and the arithmetic is single precision), but the exports of a
// monochrome image are R = G = B. Every pixel that was grey in the buffer (`grey`, row by
// row) takes its rendered green in red and blue too. `rendered` has the buffer's size and
// three 16-bit planes.
void KeepGreysGrey(const std::vector<bool>& grey, dng_image& rendered) {
    const uint32_t width = rendered.Width();
    std::vector<uint16_t> out;
    for (uint32_t top = 0; top < rendered.Height(); top += kGreyBandRows) {
        const uint32_t rows = std::min(kGreyBandRows, rendered.Height() - top);
        const dng_rect area(int32_t(top), 0, int32_t(top + rows), int32_t(width));
        out.resize(size_t(rows) * width * 3);
        dng_pixel_buffer buffer(area, 0, 3, ttShort, dng_pixel_buffer::interleaved, out.data());
        rendered.Get(buffer);
        const size_t first = size_t(top) * width;
        for (size_t i = 0; i < size_t(rows) * width; ++i)
            if (grey[first + i]) out[3 * i] = out[3 * i + 2] = out[3 * i + 1];
        rendered.Put(buffer);
    }
}

// An 8-bit RGB preview of a grey image, made grey: each pixel takes its green.
void MakeGrey8(dng_image& image) {
    if (image.Planes() != 3 || image.PixelType() != ttByte) return;
    const dng_rect area = image.Bounds();
    std::vector<uint8_t> samples(size_t(area.W()) * area.H() * 3);
    dng_pixel_buffer buffer(area, 0, 3, ttByte, dng_pixel_buffer::interleaved, samples.data());
    image.Get(buffer);
    for (size_t i = 0; i < samples.size(); i += 3)
        samples[i] = samples[i + 2] = samples[i + 1];
    image.Put(buffer);
}

// The caller's samples as a stream, read in place: copying them into a memory stream first
// would only double the work (bench/README.md, bench_dng_export).
class SampleStream : public dng_stream {
  public:
    SampleStream(const uint16_t* samples, uint64_t bytes)
        : fData(reinterpret_cast<const uint8_t*>(samples)), fBytes(bytes) {}

  protected:
    uint64_t DoGetLength() override { return fBytes; }
    void DoRead(void* data, uint32_t count, uint64_t offset) override {
        std::memcpy(data, fData + offset, count);
    }

  private:
    const uint8_t* fData;
    uint64_t fBytes;
};

// The directory that describes the caller's buffer: one uncompressed strip of 16-bit samples
// in the machine's order, a mosaic or linear RGB, uncropped and unscaled.
dng_ifd SourceDirectory(uint32_t width, uint32_t height, uint32_t planes, bool cfa) {
    dng_ifd ifd;
    ifd.fNewSubFileType = 0;
    ifd.fImageWidth = width;
    ifd.fImageLength = height;
    for (uint32_t& bits : ifd.fBitsPerSample)
        bits = 16;
    ifd.fCompression = 1;
    ifd.fPredictor = 1;
    ifd.fPhotometricInterpretation = cfa ? 32803 : 34892;
    ifd.fFillOrder = 1;
    ifd.fSamplesPerPixel = planes;
    ifd.fPlanarConfiguration = 1;
    ifd.SetSingleStrip();
    ifd.fTileOffsetsType = ttLong;
    ifd.fSampleFormat[0] = 1;
    ifd.fCFALayout = 1;
    if (cfa) {
        ifd.fCFARepeatPatternRows = 2;
        ifd.fCFARepeatPatternCols = 2;
    }
    ifd.fBlackLevelRepeatRows = ifd.fBlackLevelRepeatCols = 1;
    for (double& white : ifd.fWhiteLevel)
        white = 65535.0;
    ifd.fDefaultCropSizeH = dng_urational(width, 1);
    ifd.fDefaultCropSizeV = dng_urational(height, 1);
    ifd.fChromaBlurRadius = dng_urational(0, 0);
    ifd.fAntiAliasStrength = dng_urational(100, 100);
    ifd.fActiveArea = dng_rect(height, width);
    return ifd;
}

std::string ISO8601Now() {
    dng_date_time_info now;
    CurrentDateTimeAndZone(now);
    return now.EncodeISO8601().Get();
}

} // namespace

const dng_matrix_3by3& DngTiffWriter::ProPhotoToXYZ() {
    static const dng_matrix_3by3 matrix(0.7977, 0.1352, 0.0313, 0.288, 0.7119, 0.0001, 0, 0, 0.8249);
    return matrix;
}

DngTiffWriter::DngTiffWriter(int32_t width, int32_t height)
    : width_(width), height_(height), cameraMatrix_(ProPhotoToXYZ()) {
    // Baseline TIFF requires a resolution; an image that carries none gets the usual one.
    resolution_.fXResolution = dng_urational(72, 1);
    resolution_.fYResolution = dng_urational(72, 1);
    resolution_.fResolutionUnit = 2;
}

void DngTiffWriter::setResolution(double x, double y, uint32_t unit) {
    if (!(x > 0 && y > 0 && x < 4e9 && y < 4e9) || unit < 1 || unit > 3) return;
    resolution_.fXResolution.SetDouble(x);
    resolution_.fYResolution.SetDouble(y);
    resolution_.fResolutionUnit = uint16_t(unit);
}

DngTiffWriter::~DngTiffWriter() = default;

bool DngTiffWriter::setImage(const uint16_t* samples, int orientation, platform::Error* error) {
    std::unique_ptr<dng_simple_image> image;
    dng_ifd source;
    const bool read = Guarded(error, [&] {
        const int32_t phase = BayerPhase(cfaPattern_);
        // An unknown pattern would make a mosaic of no colours: refuse it rather than write it.
        if (cfaPattern_ && phase < 0) ThrowProgramError("Unknown CFA pattern code");
        // The mosaic's crop keeps two pixels off each edge.
        const int32_t minimum = cfaPattern_ ? 5 : 1;
        if (!samples || width_ < minimum || height_ < minimum) ThrowProgramError("Image too small");
        const uint64_t bytes = uint64_t(width_) * uint64_t(height_) * planes() * 2;

        host_.SetMinimumSize(0);
        host_.SetPreferredSize(0);
        host_.SetMaximumSize(0);
        host_.ValidateSizes();
        host_.SetSaveDNGVersion(0x01040000);
        host_.SetSaveLinearDNG(cfaPattern_ == 0);

        if (bytes > (uint64_t(1) << 40)) ThrowOverflow();
        image = std::make_unique<dng_simple_image>(dng_rect(uint32_t(height_), uint32_t(width_)), planes(),
                                                   ttShort, host_.Allocator());
        source = SourceDirectory(uint32_t(width_), uint32_t(height_), planes(), cfaPattern_ != 0);
        SampleStream stream(samples, bytes);
        source.ReadImage(host_, stream, *image);
        markGreys(samples);
    });
    if (!read) return false;

    return Guarded(error, [&] {
        std::unique_ptr<dng_negative> negative(host_.MakeNegative());
        const bool cfa = cfaPattern_ != 0;
        negative->SetDefaultScale(source.fDefaultScaleH, source.fDefaultScaleV);
        if (cfa) {
            negative->SetDefaultCropOrigin(2, 2);
            negative->SetDefaultCropSize(uint32_t(width_ - 4), uint32_t(height_ - 4));
        } else {
            negative->SetDefaultCropOrigin(0, 0);
            negative->SetDefaultCropSize(uint32_t(width_), uint32_t(height_));
        }
        negative->SetActiveArea(source.fActiveArea);
        negative->SetColorChannels(3);
        if (cfa) {
            negative->SetColorKeys(0, 1, 2, 255);
            negative->SetBayerMosaic(uint32_t(BayerPhase(cfaPattern_)));
        }
        for (int32_t plane = 0; plane < 3; ++plane) {
            negative->SetWhiteLevel(65535, plane);
            negative->SetBlackLevel(0, plane);
        }
        negative->SetBaselineExposure(dng_srational(0, 100));
        negative->SetBaselineNoise(dng_urational(100, 100));
        negative->SetBaselineSharpness(dng_urational(100, 100));
        negative->SetAntiAliasStrength(dng_urational(100, 100));
        negative->SetLinearResponseLimit(dng_urational(100, 100));
        negative->SetShadowScale(dng_urational(1, 1));
        negative->SetAnalogBalance(dng_vector_3(1, 1, 1));
        dng_orientation base;
        base.SetFromTIFF(uint32_t(orientation));
        negative->SetBaseOrientation(base);
        negative->SetColorimetricReference(cfa ? 0 : 1);

        // A DNG colour matrix maps XYZ to the camera's values; the "camera" here is linear
        // ProPhoto, so the matrix is the inverse of ProPhoto to XYZ.
        const dng_matrix xyzToCamera = Invert(cameraMatrix_);
        auto profile = std::make_unique<dng_camera_profile>();
        profile->SetName("Lumivar DNG Profile");
        profile->SetColorMatrix1(xyzToCamera);
        profile->SetCalibrationIlluminant1(23);
        if (cfa) {
            profile->SetColorMatrix2(xyzToCamera);
            profile->SetCalibrationIlluminant2(21);
        }
        negative->AddProfile(std::move(profile));
        negative->SetCameraWhiteXY(0.3457, 0.3585);
        dng_exif& exif = *negative->GetExif();
        exif.fMake.Set("Unknown");
        exif.fModel.Set("Generic PCD scanner");
        exif.fSoftware.Set("Lumivar V1.0.0");
        // EXIF 2.x readers expect the directory to name the FlashPix version it follows.
        exif.fFlashPixVersion = 0x30313030; // "0100"
        negative->SetStage1Image(std::move(image));
        negative_ = std::move(negative);
    });
}

void DngTiffWriter::setText(dng_string& field, const char* text) { field.Set_UTF8_or_System(text); }

void DngTiffWriter::markGreys(const uint16_t* samples) {
    greyPixels_.clear();
    allGrey_ = false;
    if (cfaPattern_) return;
    const size_t pixels = size_t(width_) * size_t(height_);
    greyPixels_.resize(pixels);
    allGrey_ = true;
    for (size_t i = 0; i < pixels; ++i, samples += 3) {
        const bool grey = samples[0] == samples[1] && samples[1] == samples[2];
        greyPixels_[i] = grey;
        allGrey_ = allGrey_ && grey;
    }
}

void DngTiffWriter::setMake(const char* text) {
    if (hasNegative()) setText(negative_->GetExif()->fMake, text);
}
void DngTiffWriter::setModel(const char* text) {
    if (hasNegative()) setText(negative_->GetExif()->fModel, text);
}
void DngTiffWriter::setSoftware(const char* text) {
    if (hasNegative()) setText(negative_->GetExif()->fSoftware, text);
}
void DngTiffWriter::setImageDescription(const char* text) {
    if (hasNegative()) setText(negative_->GetExif()->fImageDescription, text);
}
void DngTiffWriter::setCopyright(const char* text) {
    if (hasNegative()) setText(negative_->GetExif()->fCopyright, text);
}
void DngTiffWriter::setUserComment(const char* text) {
    if (hasNegative()) setText(negative_->GetExif()->fUserComment, text);
}

void DngTiffWriter::setDocumentName(const char* text) {
    if (!hasNegative()) return;
    dng_string name;
    name.Set_UTF8_or_System(text);
    negative_->SetOriginalRawFileName(name.Get());
    negative_->GetExif()->fImageDescription = name;
}

void DngTiffWriter::setDateTime(const char* text) {
    if (!hasNegative() || !text) return;
    dng_date_time dt;
    if (!dt.Parse(text)) return;
    dng_date_time_info info;
    info.SetDateTime(dt);
    negative_->GetExif()->fDateTimeOriginal = info;
    negative_->GetExif()->fDateTimeDigitized = info;
}

void DngTiffWriter::setEXIFField(MetadataKey key, const char* text, int32_t iValue, double fValue) {
    if (!hasNegative() || !text) return;
    dng_exif& exif = *negative_->GetExif();
    const int code = int(key);
    auto parsedDate = [&](dng_date_time_info& field) {
        dng_date_time dt;
        if (!dt.Parse(text)) return;
        field.SetDateTime(dt);
    };
    auto unsignedInt = [&](uint32_t& field) { field = iValue < 0 ? dng_exif::kAbsent : uint32_t(iValue); };
    switch (code) {
    case 3:
        setText(exif.fImageDescription, text);
        break;
    case 4:
        setText(exif.fMake, text);
        break;
    case 5:
        setText(exif.fModel, text);
        break;
    case 10:
        setText(exif.fSoftware, text);
        break;
    case 13:
        setText(exif.fArtist, text);
        break;
    case 15:
        setText(exif.fCopyright, text);
        break;
    case 41:
        setText(exif.fUserComment, text);
        break;
    case 12:
    case 25:
        parsedDate(exif.fDateTimeOriginal);
        break;
    case 26:
        parsedDate(exif.fDateTimeDigitized);
        break;
    case 18:
        exif.SetExposureTime(fValue, false);
        break;
    case 19:
        exif.SetFNumber(fValue);
        break;
    case 29:
        exif.SetShutterSpeedValue(fValue);
        break;
    case 30:
        exif.SetApertureValue(fValue);
        break;
    case 31:
        exif.fBrightnessValue.SetDouble(fValue);
        break;
    case 32:
        exif.fExposureBiasValue.SetDouble(fValue);
        break;
    case 81:
        exif.fFlashCompensation.SetDouble(fValue);
        break;
    case 33:
        exif.fMaxApertureValue.SetDouble(fValue);
        break;
    case 34:
        exif.fSubjectDistance.SetDouble(fValue);
        break;
    case 38:
        exif.fFocalLength.SetDouble(fValue);
        break;
    case 56:
        exif.fExposureIndex.SetDouble(fValue);
        break;
    case 64:
        exif.fDigitalZoomRatio.SetDouble(fValue);
        break;
    case 20:
        unsignedInt(exif.fExposureProgram);
        break;
    case 35:
        unsignedInt(exif.fMeteringMode);
        break;
    case 36:
        unsignedInt(exif.fLightSource);
        break;
    case 37:
        unsignedInt(exif.fFlash);
        break;
    case 57:
        unsignedInt(exif.fSensingMethod);
        break;
    case 58:
        unsignedInt(exif.fFileSource);
        break;
    case 59:
        unsignedInt(exif.fSceneType);
        break;
    case 61:
        unsignedInt(exif.fCustomRendered);
        break;
    case 62:
        unsignedInt(exif.fExposureMode);
        break;
    case 63:
        unsignedInt(exif.fWhiteBalance);
        break;
    case 65:
        exif.fFocalLengthIn35mmFilm = iValue < 0 ? 0 : uint32_t(iValue);
        break;
    case 66:
        unsignedInt(exif.fSceneCaptureType);
        break;
    case 67:
        unsignedInt(exif.fGainControl);
        break;
    case 68:
        unsignedInt(exif.fContrast);
        break;
    case 69:
        unsignedInt(exif.fSaturation);
        break;
    case 70:
        unsignedInt(exif.fSharpness);
        break;
    case 72:
        unsignedInt(exif.fSubjectDistanceRange);
        break;
    case 22:
        exif.fISOSpeedRatings[0] = iValue < 0 ? 0 : uint32_t(iValue);
        break;
    case 73:
        unsignedInt(exif.fImageNumber);
        break;
    case 76:
        setText(exif.fLensName, text);
        break;
    case 77:
        setText(exif.fCameraSerialNumber, text);
        break;
    case 78:
        setText(exif.fLensID, text);
        break;
    case 79:
        setText(exif.fLensSerialNumber, text);
        break;
    case 82:
        setText(exif.fCameraOwnerName, text);
        break;
    case 83:
        setText(exif.fFirmware, text);
        break;
    default:
        break;
    }
}

void DngTiffWriter::BuildEmbeddedBlock(const uint8_t* data, uint64_t length, dng_host& host,
                                       std::unique_ptr<dng_memory_block>& block) {
    if (length > 0xFFFFFFFFu - 65536) Throw_dng_error(dng_error_overflow);
    const uint32_t chunks = uint32_t((length + kChunk - 1) / kChunk);
    dng_memory_stream stream(host.Allocator());
    stream.SetBigEndian();
    stream.Put_uint32(uint32_t(length));
    std::vector<uint32_t> ends;
    std::vector<uint8_t> compressed(kDeflateArea);
    // The table first, with room for every chunk's end; it is filled once the sizes are known.
    const uint64_t tableAt = stream.Position();
    for (uint32_t i = 0; i <= chunks; ++i)
        stream.Put_uint32(0);
    uint32_t position = 8 + 4 * chunks;
    for (uint32_t i = 0; i < chunks; ++i) {
        const uint32_t size = uint32_t(std::min<uint64_t>(kChunk, length - uint64_t(i) * kChunk));
        z_stream z{};
        if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK)
            ThrowProgramError("zlib could not start a deflate stream");
        z.next_in = const_cast<Bytef*>(data + uint64_t(i) * kChunk);
        z.avail_in = size;
        z.next_out = compressed.data();
        z.avail_out = kDeflateArea;
        const int ret = deflate(&z, Z_FINISH);
        const uint32_t produced = kDeflateArea - z.avail_out;
        deflateEnd(&z);
        // A 64 KiB chunk always deflates within twice its size in one call.
        if (ret != Z_STREAM_END) ThrowProgramError("ret == Z_STREAM_END in writeFile of DngTiffWriter");
        stream.Put(compressed.data(), produced);
        position += produced;
        ends.push_back(position);
    }
    for (int i = 0; i < 7; ++i)
        stream.Put_uint32(0);
    stream.SetWritePosition(tableAt);
    stream.Put_uint32(8 + 4 * chunks);
    for (uint32_t end : ends)
        stream.Put_uint32(end);
    block = stream.AsMemoryBlock(host.Allocator());
}

bool DngTiffWriter::writeFile(const char* outputPath, const char* embedPath, const char* type,
                              platform::Error* error) {
    if (!negative_) return platform::fail(error, DngError(dng_error_unknown));
    const std::string typeText = type ? type : "";
    // Nothing is opened before the file type is known.
    const bool dng = Contains(typeText, "dng");
    if (!dng && !Contains(typeText, "tif")) return platform::fail(error, DngError(dng_error_unknown));
    dng_negative& negative = *negative_;

    const bool built = Guarded(error, [&] {
        const dng_exif& exif = *negative.GetExif();
        const std::string model = cameraModelName_.empty()
                                      ? std::string(exif.fMake.Get()) + " " + exif.fModel.Get()
                                      : cameraModelName_;
        negative.SetModelName(model.c_str());
        negative.SetLocalName(model.c_str());
        negative.ValidateRawImageDigest(host_);
        negative.Metadata().SynchronizeMetadata();
        negative.BuildStage2Image(host_);
        negative.BuildStage3Image(host_);
    });
    if (!built) return false;

    dng_preview_list previews;
    if (dng) {
        const bool previewed = Guarded(error, [&] {
            dng_render render(host_, negative);
            const bool gray = negative.ColorChannels() == 1;
            render.SetFinalSpace(gray ? dng_space_GrayGamma22::Get() : dng_space_sRGB::Get());
            render.SetFinalPixelType(ttByte);
            render.SetMaximumSize(256);
            auto preview = std::make_unique<dng_image_preview>();
            preview->fImage.reset(render.Render());
            if (!gray && allGrey_) MakeGrey8(*preview->fImage);
            dng_preview_info& info = preview->fInfo;
            const dng_string& software = negative.GetExif()->fSoftware;
            info.fApplicationName.Set(software.NotEmpty() ? software.Get() : "Lumivar");
            info.fApplicationVersion.Set("1.0");
            info.fSettingsName.Set("Default");
            info.fColorSpace = preview->fImage->Planes() == 1 ? 1 : 2;
            info.fDateTime.Set(ISO8601Now().c_str());
            std::unique_ptr<dng_preview> owned(preview.release());
            previews.Append(owned);
        });
        if (!previewed) return false;
    }

    if (embedPath) {
        const bool embedded = Guarded(error, [&] {
            dng_file_stream file(embedPath, false, 8192);
            const uint64_t length = file.Length();
            if (length > 0xFFFFFFFFu - 65536) Throw_dng_error(dng_error_overflow);
            std::vector<uint8_t> bytes(length);
            if (length) file.Get(bytes.data(), uint32_t(length));
            std::unique_ptr<dng_memory_block> block;
            BuildEmbeddedBlock(bytes.data(), length, host_, block);
            dng_md5_printer printer;
            printer.Process(block->Buffer(), block->LogicalSize());
            negative.SetOriginalRawFileDigest(printer.Result());
            negative.SetOriginalRawFileData(std::move(block));
            negative.ValidateOriginalRawFileDigest();
        });
        if (!embedded) return false;
    }

    const auto write = [&] {
        dng_atomic_file_stream stream(outputPath);
        dng_image_writer writer;
        if (dng) {
            writer.WriteDNG(host_, stream, negative, negative.Metadata(), &previews, 7, false);
        } else {
            dng_render render(host_, negative);
            render.SetFinalSpace(dng_space_ProPhoto::Get());
            render.SetFinalPixelType(ttShort);
            render.SetMaximumSize(0);
            std::unique_ptr<dng_image> image(render.Render());
            if (!greyPixels_.empty() && image->Planes() == 3 && image->PixelType() == ttShort &&
                image->Width() == uint32_t(width_) && image->Height() == uint32_t(height_))
                KeepGreysGrey(greyPixels_, *image);
            image->Rotate(negative.Metadata().BaseOrientation());
            writer.WriteTIFF(host_, stream, *image, image->Planes() < 3 ? 1 : 2, 1, &negative,
                             &dng_space_ProPhoto::Get(), &resolution_);
        }
        stream.Commit();
    };
    return Guarded(error, write);
}
