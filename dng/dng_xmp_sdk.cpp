#include "dng/dng_xmp_sdk.h"

#include "dng/dng_exceptions.h"

#include <atomic>
#include <new>

namespace {
std::atomic<bool> gToolkitInitialized{false};
}

bool XMPToolkitInitialized() { return gToolkitInitialized.load(); }

dng_xmp_sdk::dng_xmp_sdk(const dng_xmp_sdk& other) {
    if (other.HasMeta()) NeedMeta();
}

void dng_xmp_sdk::NeedMeta() {
    if (fMeta) return;
    try {
        fMeta = std::make_unique<SXMPMeta>();
    } catch (const std::bad_alloc&) {
        ThrowMemoryFull();
    } catch (...) {
        ThrowProgramError();
    }
    gToolkitInitialized = true;
}

bool dng_xmp_sdk::GetString(dng_xmp_namespace ns, const char* path, dng_string& value) const {
    if (!fMeta) return false;
    dng_string found;
    if (!fMeta->GetProperty(ns, path, &found)) return false;
    value = found;
    return true;
}

void dng_xmp_sdk::SetString(dng_xmp_namespace ns, const char* path, const char* value) {
    NeedMeta();
    fMeta->SetProperty(ns, path, value);
}

void dng_xmp_sdk::Remove(dng_xmp_namespace ns, const char* path) {
    if (fMeta) fMeta->DeleteProperty(ns, path);
}
