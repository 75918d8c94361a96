#pragma once
// The XMP side of the metadata bundle: property access, the synchronisation with the EXIF and
// IPTC records, and the packet for the file's XMP tag. The toolkit below keeps nothing
// (dng_xmp_sdk.h), so reads find nothing, writes leave nothing and no packet is serialised;
// the synchronisation still applies the EXIF clean-ups that do not depend on XMP content.
#include "dng/dng_fingerprint.h"
#include "dng/dng_string.h"
#include "dng/dng_xmp_sdk.h"

#include <cstdint>
#include <memory>

class dng_date_time_info;
class dng_exif;
class dng_iptc;
class dng_memory_allocator;
class dng_memory_block;
class dng_metadata;
class dng_orientation;

class dng_xmp {
  public:
    // How an IPTC record and the XMP are brought together.
    enum iptc_sync_mode : uint32_t {
        kSyncIPTC_FromXMP = 1,
        // The IPTC block is new to the XMP: no legacy digest was stored.
        kSyncIPTC_NoDigest = 2,
        // The IPTC block changed since the XMP stored its digest.
        kSyncIPTC_DigestDiffers = 4
    };

    explicit dng_xmp(dng_memory_allocator& allocator);
    dng_xmp(const dng_xmp& other);
    dng_xmp& operator=(const dng_xmp&) = delete;
    virtual ~dng_xmp();

    // The caller owns the copy.
    virtual dng_xmp* Clone() const;

    // The EXIF record changes only as far as it is tidied: versions, derived APEX values, ISO
    // and subject-area entries, the default lens name, a negative GPS altitude.
    virtual void SyncExif(dng_exif& exif, const dng_exif* originalExif = nullptr, bool doingUpdate = false,
                          bool removeFromXMP = false);
    virtual void SyncApproxFocusDistance(dng_exif& exif, uint32_t options = 0);
    virtual void SyncLensName(dng_exif& exif);
    // Builds a lens name from LensInfo when the name is empty or ends in "f/0.0".
    virtual void GenerateDefaultLensName(dng_exif& exif);

    bool HasMeta() const { return fSDK->HasMeta(); }
    dng_memory_allocator& Allocator() const { return fAllocator; }

    // The packet, or null when there is nothing to write (always, here).
    std::unique_ptr<dng_memory_block> Serialize(dng_memory_allocator& allocator, uint32_t options = 0,
                                                uint32_t padding = 4096) const;

    void Set(dng_xmp_namespace ns, const char* path, const char* text);
    void SetString(dng_xmp_namespace ns, const char* path, const dng_string& s);
    void SetStringList(dng_xmp_namespace ns, const char* path, const dng_string_list& list,
                       bool isBag = true);
    void SetLangAltDefault(dng_xmp_namespace ns, const char* path, const dng_string& s);
    void SetStructField(dng_xmp_namespace ns, const char* path, dng_xmp_namespace fieldNS,
                        const char* fieldName, const char* text);
    void SetBoolean(dng_xmp_namespace ns, const char* path, bool value);
    // A null fingerprint removes the property unless null values are allowed.
    void SetFingerprint(dng_xmp_namespace ns, const char* path, const dng_fingerprint& print,
                        bool allowNull = false);
    void SetIPTCDigest(const dng_fingerprint& digest);
    void SetOrientation(const dng_orientation& orientation);
    void UpdateDateTime(const dng_date_time_info& dt);
    void UpdateMetadataDate(const dng_date_time_info& dt);

    // Each answers whether the property was found; the output is untouched otherwise.
    bool GetString(dng_xmp_namespace ns, const char* path, dng_string& s) const;
    bool GetStringList(dng_xmp_namespace ns, const char* path, dng_string_list& list) const;
    bool GetLangAltDefault(dng_xmp_namespace ns, const char* path, dng_string& s) const;
    bool GetStructField(dng_xmp_namespace ns, const char* path, dng_xmp_namespace fieldNS,
                        const char* fieldName, dng_string& s) const;
    bool GetBoolean(dng_xmp_namespace ns, const char* path, bool& value) const;
    bool GetFingerprint(dng_xmp_namespace ns, const char* path, dng_fingerprint& print) const;
    // The null fingerprint when none is stored.
    dng_fingerprint GetIPTCDigest() const;

    void Remove(dng_xmp_namespace ns, const char* path);
    void RemoveProperties(dng_xmp_namespace ns);
    void ClearIPTCDigest();
    void RemoveOrientation();
    void RemoveImageLayoutProperties();
    // Answers whether the namespace could be tidied.
    bool PruneNamespace(dng_xmp_namespace ns);
    void PrepareNamespaces();

    void SyncIPTC(dng_iptc& iptc, iptc_sync_mode mode);
    // Moves the bundle's IPTC block into the XMP unless the XMP already holds its digest.
    void TakeIPTC(dng_metadata& metadata);
    // Rebuilds the bundle's IPTC block from the XMP's IPTC properties.
    void MakeIPTC(dng_metadata& metadata, dng_memory_allocator& allocator, bool padForTIFF);
    void SyncOrientation(dng_metadata& metadata, bool xmpPriority);

  private:
    // XMP wins on update; otherwise the EXIF text is copied out, or filled in when empty.
    void SyncString(dng_xmp_namespace ns, const char* path, dng_string& s, bool doingUpdate);

    dng_memory_allocator& fAllocator;
    std::unique_ptr<dng_xmp_sdk> fSDK;
};
