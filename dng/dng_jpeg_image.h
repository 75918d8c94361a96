#pragma once
// A raw image stored as lossy JPEG tiles. This program writes none; the negative only asks one
// for its digest when it holds one.
#include "dng/dng_fingerprint.h"

class dng_host;

class dng_jpeg_image {
  public:
    virtual ~dng_jpeg_image() = default;
    virtual dng_fingerprint FindDigest(dng_host& host) const = 0;
};
