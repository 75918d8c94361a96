#pragma once
// Tag sets: all the entries of one concern (image layout, EXIF and GPS, levels, mosaic,
// colour, camera profile) built from the model objects and added to a directory at once.
// A set owns its tags and value buffers and must outlive the directory's Put.
#include "dng/dng_tiff_directory.h"

#include <memory>
#include <vector>

class dng_camera_profile;
class dng_exif;
class dng_ifd;
class dng_mosaic_info;
class dng_negative;

class dng_tag_set_base : private dng_uncopyable {
  public:
    virtual ~dng_tag_set_base() = default;

  protected:
    template <typename Tag, typename... Args> Tag* Make(Args&&... args) {
        auto tag = std::make_unique<Tag>(std::forward<Args>(args)...);
        Tag* raw = tag.get();
        fTags.push_back(std::move(tag));
        return raw;
    }
    template <typename Tag, typename... Args> Tag* AddTag(dng_tiff_directory& directory, Args&&... args) {
        Tag* tag = Make<Tag>(std::forward<Args>(args)...);
        directory.Add(tag);
        return tag;
    }
    // Values that live as long as the set.
    template <typename T> const T* Hold(std::vector<T> values) {
        auto held = std::make_shared<std::vector<T>>(std::move(values));
        fHeld.push_back(held);
        return held->data();
    }

  private:
    std::vector<std::unique_ptr<tiff_tag>> fTags;
    std::vector<std::shared_ptr<void>> fHeld;
};

class dng_basic_tag_set : public dng_tag_set_base {
  public:
    dng_basic_tag_set(dng_tiff_directory& directory, const dng_ifd& ifd);

    uint32_t TileCount() const { return uint32_t(fTileOffsets.size()); }
    void SetTileOffset(uint32_t index, uint32_t offset) { fTileOffsets[index] = offset; }
    void SetTileByteCount(uint32_t index, uint32_t count) { fTileByteCounts[index] = count; }
    uint32_t TileOffset(uint32_t index) const { return fTileOffsets[index]; }
    uint32_t TileByteCount(uint32_t index) const { return fTileByteCounts[index]; }

  private:
    std::vector<uint32_t> fTileOffsets;
    std::vector<uint32_t> fTileByteCounts;
    uint16_t fBitsPerSample[4] = {};
    uint16_t fExtraSamples[4] = {};
    uint16_t fSampleFormat[4] = {};
    uint16_t fSubTileBlockSize[2] = {};
};

class exif_tag_set : public dng_tag_set_base {
  public:
    exif_tag_set(dng_tiff_directory& directory, const dng_exif& exif, bool makerNoteSafe = false,
                 const void* makerNoteData = nullptr, uint32_t makerNoteLength = 0, bool insideDNG = false);

    // The pointer values, set by the writer once it knows where the directories go.
    void SetExifOffset(uint32_t offset) {
        if (fExifLink) fExifLink->Set(offset);
    }
    void SetGPSOffset(uint32_t offset) {
        if (fGPSLink) fGPSLink->Set(offset);
    }
    const dng_tiff_directory& ExifIFD() const { return fExifIFD; }
    const dng_tiff_directory& GPSIFD() const { return fGPSIFD; }
    uint32_t Size() const { return fExifIFD.Size() + fGPSIFD.Size(); }

  private:
    void AddMainTags(dng_tiff_directory& directory, const dng_exif& exif, bool makerNoteSafe,
                     const void* makerNoteData, bool insideDNG);
    void AddExifTags(const dng_exif& exif, bool makerNoteSafe, const void* makerNoteData,
                     uint32_t makerNoteLength);
    void AddGPSTags(const dng_exif& exif);

    dng_tiff_directory fExifIFD;
    dng_tiff_directory fGPSIFD;
    tag_uint32* fExifLink = nullptr;
    tag_uint32* fGPSLink = nullptr;
};

class range_tag_set : public dng_tag_set_base {
  public:
    range_tag_set(dng_tiff_directory& directory, const dng_negative& negative);
};

class mosaic_tag_set : public dng_tag_set_base {
  public:
    mosaic_tag_set(dng_tiff_directory& directory, const dng_mosaic_info& info);
};

class color_tag_set : public dng_tag_set_base {
  public:
    color_tag_set(dng_tiff_directory& directory, const dng_negative& negative);
};

class profile_tag_set : public dng_tag_set_base {
  public:
    profile_tag_set(dng_tiff_directory& directory, const dng_camera_profile& profile);
};
