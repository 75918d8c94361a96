#pragma once
// The XMP toolkit layer under dng_xmp. This program neither parses nor writes XMP, so the
// toolkit objects keep nothing: every read reports "not found" and every write is dropped.
// The adapter still tracks whether a metadata object exists, which callers can observe.
#include "dng/dng_string.h"

#include <cstdint>
#include <memory>

// The namespaces the DNG code passes; with nothing kept they only document intent.
enum class dng_xmp_namespace : uint32_t {
    tiff,
    exif,
    exifAux,
    exifEX,
    xmp,
    dc,
    photoshop,
    iptcCore,
    rawSettings,
    rawSavedSettings,
    xmpRights,
    xmpMM,
    mediaPro,
    iptcExt
};

class XMP_Error {
  public:
    virtual ~XMP_Error() = default;
};

class SXMPMeta {
  public:
    virtual ~SXMPMeta() = default;
    bool GetProperty(dng_xmp_namespace, const char* /*path*/, dng_string* /*value*/) const { return false; }
    void SetProperty(dng_xmp_namespace, const char* /*path*/, const char* /*value*/) {}
    void DeleteProperty(dng_xmp_namespace, const char* /*path*/) {}
};

class SXMPIterator {
  public:
    virtual ~SXMPIterator() = default;
};

class SXMPUtils {
  public:
    virtual ~SXMPUtils() = default;
};

// Set when the first metadata object is made; never cleared.
bool XMPToolkitInitialized();

class dng_xmp_sdk {
  public:
    dng_xmp_sdk() = default;
    // A copy has (empty) metadata exactly when the source has.
    dng_xmp_sdk(const dng_xmp_sdk& other);
    dng_xmp_sdk& operator=(const dng_xmp_sdk&) = delete;
    virtual ~dng_xmp_sdk() = default;

    bool HasMeta() const { return fMeta != nullptr; }
    // Makes a metadata object exist: 100005 when memory runs out, 100000 on any other failure.
    void NeedMeta();

    bool GetString(dng_xmp_namespace ns, const char* path, dng_string& value) const;
    void SetString(dng_xmp_namespace ns, const char* path, const char* value);
    void Remove(dng_xmp_namespace ns, const char* path);

  private:
    std::unique_ptr<SXMPMeta> fMeta;
};
