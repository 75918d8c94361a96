#pragma once
// Names a camera profile by its name, its fingerprint, or both.
#include "dng/dng_fingerprint.h"
#include "dng/dng_string.h"

class dng_camera_profile_id {
  public:
    dng_camera_profile_id() = default;
    explicit dng_camera_profile_id(const char* name) { fName.Set(name); }
    dng_camera_profile_id(const char* name, const dng_fingerprint& fingerprint) : fFingerprint(fingerprint) {
        fName.Set(name);
    }

    const dng_string& Name() const { return fName; }
    const dng_fingerprint& Fingerprint() const { return fFingerprint; }

  private:
    dng_string fName;
    dng_fingerprint fFingerprint;
};
