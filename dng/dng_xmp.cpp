#include "dng/dng_xmp.h"

#include "dng/dng_date_time.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_exif.h"
#include "dng/dng_iptc.h"
#include "dng/dng_memory.h"
#include "dng/dng_metadata.h"
#include "dng/dng_orientation.h"

#include <algorithm>
#include <cstdio>

namespace {

using ns = dng_xmp_namespace;

std::unique_ptr<dng_xmp_sdk> NewSDK(const dng_xmp_sdk* source) {
    return dng_guard_allocation(
        [&] { return source ? std::make_unique<dng_xmp_sdk>(*source) : std::make_unique<dng_xmp_sdk>(); });
}

// Entries up to the first zero are kept and the rest zeroed, unless one of the kept entries
// is the 65535 that stands for "higher than a SHORT holds".
void TidyISOSpeedRatings(uint32_t (&iso)[3]) {
    uint32_t kept = 0;
    while (kept < 3 && iso[kept] != 0)
        ++kept;
    for (uint32_t i = 0; i < kept; ++i)
        if (iso[i] == 65535) return;
    for (uint32_t i = kept; i < 3; ++i)
        iso[i] = 0;
}

void TidySubjectArea(dng_exif& exif) {
    for (uint32_t i = std::min(exif.fSubjectAreaCount, 4u); i < 4; ++i)
        exif.fSubjectArea[i] = 0;
}

// Some writers store a negative altitude instead of a below-sea-level reference.
void TidyGPSAltitude(dng_exif& exif) {
    dng_urational& altitude = exif.fGPSAltitude;
    if (altitude.d == 0 || altitude.d > 6) return;
    if (exif.fGPSAltitudeRef != 0 && exif.fGPSAltitudeRef != dng_exif::kAbsent) return;
    const int32_t signedValue = int32_t(altitude.n);
    if (signedValue >= 0) return;
    altitude.n = uint32_t(-int64_t(signedValue));
    exif.fGPSAltitudeRef = 1;
}

bool Differ(double a, double b) { return !(a == b); }

dng_string LensNameFromInfo(const dng_urational (&info)[4]) {
    const double minFocal = info[0].AsDouble();
    const double maxFocal = info[1].AsDouble();
    const double minF = info[2].AsDouble();
    const double maxF = info[3].AsDouble();
    char text[256];
    if (info[2].d != 0) {
        if (Differ(minFocal, maxFocal) && Differ(minF, maxF))
            std::snprintf(text, sizeof(text), "%.1f-%.1f mm f/%.1f-%.1f", minFocal, maxFocal, minF, maxF);
        else if (Differ(minFocal, maxFocal))
            std::snprintf(text, sizeof(text), "%.1f-%.1f mm f/%.1f", minFocal, maxFocal, minF);
        else
            std::snprintf(text, sizeof(text), "%.1f mm f/%.1f", minFocal, minF);
    } else if (Differ(minFocal, maxFocal)) {
        std::snprintf(text, sizeof(text), "%.1f-%.1f mm", minFocal, maxFocal);
    } else {
        std::snprintf(text, sizeof(text), "%.1f mm", minFocal);
    }
    dng_string name;
    name.Set(text);
    return name;
}

struct iptc_text_property {
    dng_string dng_iptc::*field;
    dng_xmp_namespace space;
    const char* path;
};

const iptc_text_property kIPTCTexts[] = {
    {&dng_iptc::fTitle, ns::dc, "title"},
    {&dng_iptc::fCategory, ns::photoshop, "Category"},
    {&dng_iptc::fInstructions, ns::photoshop, "Instructions"},
    {&dng_iptc::fAuthorsPosition, ns::photoshop, "AuthorsPosition"},
    {&dng_iptc::fCity, ns::photoshop, "City"},
    {&dng_iptc::fState, ns::photoshop, "State"},
    {&dng_iptc::fCountry, ns::photoshop, "Country"},
    {&dng_iptc::fCountryCode, ns::iptcCore, "CountryCode"},
    {&dng_iptc::fLocation, ns::iptcCore, "Location"},
    {&dng_iptc::fTransmissionReference, ns::photoshop, "TransmissionReference"},
    {&dng_iptc::fHeadline, ns::photoshop, "Headline"},
    {&dng_iptc::fCredit, ns::photoshop, "Credit"},
    {&dng_iptc::fSource, ns::photoshop, "Source"},
    {&dng_iptc::fCopyrightNotice, ns::dc, "rights"},
    {&dng_iptc::fDescription, ns::dc, "description"},
    {&dng_iptc::fDescriptionWriter, ns::photoshop, "CaptionWriter"},
};

struct iptc_list_property {
    dng_string_list dng_iptc::*field;
    dng_xmp_namespace space;
    const char* path;
};

const iptc_list_property kIPTCLists[] = {
    {&dng_iptc::fSupplementalCategories, ns::photoshop, "SupplementalCategories"},
    {&dng_iptc::fKeywords, ns::dc, "subject"},
    {&dng_iptc::fAuthors, ns::dc, "creator"},
};

} // namespace

dng_xmp::dng_xmp(dng_memory_allocator& allocator) : fAllocator(allocator), fSDK(NewSDK(nullptr)) {}

dng_xmp::dng_xmp(const dng_xmp& other) : fAllocator(other.fAllocator), fSDK(NewSDK(other.fSDK.get())) {}

dng_xmp::~dng_xmp() = default;

dng_xmp* dng_xmp::Clone() const {
    return dng_guard_allocation([&] { return new dng_xmp(*this); });
}

// ---- Properties.

std::unique_ptr<dng_memory_block> dng_xmp::Serialize(dng_memory_allocator&, uint32_t, uint32_t) const {
    return nullptr;
}

void dng_xmp::Set(dng_xmp_namespace space, const char* path, const char* text) {
    fSDK->SetString(space, path, text);
}

void dng_xmp::SetString(dng_xmp_namespace space, const char* path, const dng_string& s) {
    Set(space, path, s.Get());
}

void dng_xmp::SetStringList(dng_xmp_namespace space, const char* path, const dng_string_list& list, bool) {
    for (uint32_t i = 0; i < list.Count(); ++i)
        Set(space, path, list[i].Get());
}

void dng_xmp::SetLangAltDefault(dng_xmp_namespace space, const char* path, const dng_string& s) {
    Set(space, path, s.Get());
}

void dng_xmp::SetStructField(dng_xmp_namespace space, const char* path, dng_xmp_namespace, const char*,
                             const char* text) {
    Set(space, path, text);
}

void dng_xmp::SetBoolean(dng_xmp_namespace space, const char* path, bool value) {
    Set(space, path, value ? "True" : "False");
}

void dng_xmp::SetFingerprint(dng_xmp_namespace space, const char* path, const dng_fingerprint& print,
                             bool allowNull) {
    if (print.IsNull() && !allowNull) {
        Remove(space, path);
        return;
    }
    char hex[33];
    print.ToHexString(hex);
    Set(space, path, hex);
}

void dng_xmp::SetIPTCDigest(const dng_fingerprint& digest) {
    SetFingerprint(ns::photoshop, "LegacyIPTCDigest", digest);
}

void dng_xmp::SetOrientation(const dng_orientation& orientation) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u", orientation.ToTIFF());
    Set(ns::tiff, "Orientation", text);
}

void dng_xmp::UpdateDateTime(const dng_date_time_info& dt) {
    SetString(ns::tiff, "DateTime", dt.EncodeISO8601());
}

void dng_xmp::UpdateMetadataDate(const dng_date_time_info& dt) {
    SetString(ns::xmp, "MetadataDate", dt.EncodeISO8601());
}

bool dng_xmp::GetString(dng_xmp_namespace space, const char* path, dng_string& s) const {
    return fSDK->GetString(space, path, s);
}

bool dng_xmp::GetStringList(dng_xmp_namespace space, const char* path, dng_string_list& list) const {
    dng_string item;
    if (!GetString(space, path, item)) return false;
    list.Append(item);
    return true;
}

bool dng_xmp::GetLangAltDefault(dng_xmp_namespace space, const char* path, dng_string& s) const {
    return GetString(space, path, s);
}

bool dng_xmp::GetStructField(dng_xmp_namespace space, const char* path, dng_xmp_namespace, const char*,
                             dng_string& s) const {
    return GetString(space, path, s);
}

bool dng_xmp::GetBoolean(dng_xmp_namespace space, const char* path, bool& value) const {
    dng_string text;
    if (!GetString(space, path, text)) return false;
    if (text.Matches("True", false)) {
        value = true;
        return true;
    }
    if (text.Matches("False", false)) {
        value = false;
        return true;
    }
    return false;
}

bool dng_xmp::GetFingerprint(dng_xmp_namespace space, const char* path, dng_fingerprint& print) const {
    dng_string text;
    if (!GetString(space, path, text) || text.Length() != 32) return false;
    dng_fingerprint parsed;
    if (!parsed.FromHexString(text.Get())) return false;
    print = parsed;
    return true;
}

dng_fingerprint dng_xmp::GetIPTCDigest() const {
    dng_fingerprint digest;
    GetFingerprint(ns::photoshop, "LegacyIPTCDigest", digest);
    return digest;
}

void dng_xmp::Remove(dng_xmp_namespace space, const char* path) { fSDK->Remove(space, path); }

void dng_xmp::RemoveProperties(dng_xmp_namespace) {}

void dng_xmp::ClearIPTCDigest() { Remove(ns::photoshop, "LegacyIPTCDigest"); }

void dng_xmp::RemoveOrientation() { Remove(ns::tiff, "Orientation"); }

void dng_xmp::RemoveImageLayoutProperties() {
    for (const char* path :
         {"ImageWidth", "ImageLength", "BitsPerSample", "Compression", "PhotometricInterpretation",
          "SamplesPerPixel", "PlanarConfiguration", "ResolutionUnit"})
        Remove(ns::tiff, path);
}

bool dng_xmp::PruneNamespace(dng_xmp_namespace) { return true; }

void dng_xmp::PrepareNamespaces() {}

// ---- Synchronisation with the EXIF record.

void dng_xmp::SyncString(dng_xmp_namespace space, const char* path, dng_string& s, bool doingUpdate) {
    if (doingUpdate) {
        if (!GetString(space, path, s)) s.Clear();
    } else if (s.NotEmpty()) {
        SetString(space, path, s);
    } else {
        GetString(space, path, s);
    }
}

void dng_xmp::SyncExif(dng_exif& exif, const dng_exif*, bool doingUpdate, bool) {
    if (exif.fExifVersion == 0) exif.SetVersion0231();
    for (int round = 0; round < 2; ++round) {
        if (exif.fExposureTime.IsValid()) exif.SetExposureTime(exif.fExposureTime.AsDouble(), false);
        if (exif.fShutterSpeedValue.IsValid()) exif.SetShutterSpeedValue(exif.fShutterSpeedValue.AsDouble());
    }
    for (int round = 0; round < 2; ++round) {
        if (exif.fFNumber.IsValid()) exif.SetFNumber(exif.fFNumber.AsDouble());
        if (exif.fApertureValue.IsValid()) exif.SetApertureValue(exif.fApertureValue.AsDouble());
    }
    TidyISOSpeedRatings(exif.fISOSpeedRatings);
    TidySubjectArea(exif);
    SyncString(ns::dc, "description", exif.fImageDescription, doingUpdate);
    SyncString(ns::dc, "creator", exif.fArtist, doingUpdate);
    SyncString(ns::xmp, "CreatorTool", exif.fSoftware, doingUpdate);
    SyncString(ns::dc, "rights", exif.fCopyright, doingUpdate);
    if (doingUpdate) exif.fCopyright2.Clear();
    SyncLensName(exif);
    TidyGPSAltitude(exif);
}

void dng_xmp::SyncApproxFocusDistance(dng_exif& exif, uint32_t) {
    if (exif.fApproxFocusDistance.NotValid()) return;
    char text[64];
    std::snprintf(text, sizeof(text), "%u/%u", exif.fApproxFocusDistance.n, exif.fApproxFocusDistance.d);
    Set(ns::exifAux, "ApproximateFocusDistance", text);
}

void dng_xmp::SyncLensName(dng_exif& exif) {
    dng_string name;
    if (GetString(ns::exifAux, "Lens", name) || GetString(ns::exifEX, "LensModel", name))
        exif.fLensName = name;
    GenerateDefaultLensName(exif);
}

void dng_xmp::GenerateDefaultLensName(dng_exif& exif) {
    const bool placeholder = exif.fLensName.IsEmpty() || exif.fLensName.EndsWith("f/0.0", false);
    if (!placeholder || exif.fLensInfo[0].d == 0) return;
    exif.fLensName = LensNameFromInfo(exif.fLensInfo);
    SetString(ns::exifAux, "Lens", exif.fLensName);
}

// ---- IPTC and orientation.

void dng_xmp::SyncIPTC(dng_iptc& iptc, iptc_sync_mode mode) {
    const bool fromXMP = mode == kSyncIPTC_FromXMP;
    for (const iptc_text_property& p : kIPTCTexts) {
        dng_string& text = iptc.*p.field;
        if (fromXMP || text.IsEmpty())
            GetString(p.space, p.path, text);
        else
            SetString(p.space, p.path, text);
    }
    for (const iptc_list_property& p : kIPTCLists) {
        dng_string_list& list = iptc.*p.field;
        if (fromXMP || list.Count() == 0)
            GetStringList(p.space, p.path, list);
        else
            SetStringList(p.space, p.path, list);
    }
}

void dng_xmp::TakeIPTC(dng_metadata& metadata) {
    if (metadata.IPTCLength() > 0) {
        dng_iptc iptc;
        iptc.Parse(metadata.IPTCData(), metadata.IPTCLength(), metadata.IPTCOffset());
        const dng_fingerprint padded = metadata.IPTCDigest(true);
        const dng_fingerprint unpadded = metadata.IPTCDigest(false);
        const dng_fingerprint stored = GetIPTCDigest();
        if (stored.IsValid() && stored == padded) return;
        if (stored.IsValid() && stored == unpadded) {
            SetIPTCDigest(padded);
            return;
        }
        SetIPTCDigest(padded);
        SyncIPTC(iptc, stored.IsNull() ? kSyncIPTC_NoDigest : kSyncIPTC_DigestDiffers);
    }
    metadata.ClearIPTC();
}

void dng_xmp::MakeIPTC(dng_metadata& metadata, dng_memory_allocator& allocator, bool padForTIFF) {
    if (!HasMeta()) return;
    dng_iptc iptc;
    SyncIPTC(iptc, kSyncIPTC_FromXMP);
    if (iptc.IsEmpty()) return;
    metadata.SetIPTC(iptc.Spool(allocator, padForTIFF));
}

void dng_xmp::SyncOrientation(dng_metadata& metadata, bool xmpPriority) {
    dng_string text;
    uint32_t code = 0;
    if (GetString(ns::tiff, "Orientation", text) && std::sscanf(text.Get(), "%u", &code) == 1 && code >= 1 &&
        code <= 8 && (xmpPriority || !metadata.HasBaseOrientation())) {
        dng_orientation orientation;
        orientation.SetFromTIFF(code);
        metadata.SetBaseOrientation(orientation);
        return;
    }
    SetOrientation(metadata.BaseOrientation());
}
