#pragma once
// Base of the DNG classes that own resources and must never be copied.

class dng_uncopyable {
  protected:
    dng_uncopyable() = default;
    ~dng_uncopyable() = default;

  public:
    dng_uncopyable(const dng_uncopyable&) = delete;
    dng_uncopyable& operator=(const dng_uncopyable&) = delete;
};
