#include "export/JpegEncoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include <turbojpeg.h>

#include "engine/core/BitmapImage.h"
#include "export/JpegBands.h"
#include "platform/ConcurrentQueue.h"
#include "platform/ParallelRows.h"

namespace bi = platform::bitmap_info;

namespace {

// Where a pixel's samples are, as the bitmap's layout word puts them.
struct SampleLayout {
    size_t step = 0;  // samples a pixel
    size_t red = 0;   // index of R; G and B follow
    size_t alpha = 0; // index of alpha when premultiplied
    bool premultiplied = false;
    bool swap = false; // 16-bit samples stored big-endian
};

std::optional<SampleLayout> sampleLayout(const platform::Bitmap& image) {
    const size_t bits = image.bitsPerComponent();
    const uint32_t info = image.bitmapInfo();
    const uint32_t alpha = info & bi::kAlphaInfoMask;
    if ((bits != 8 && bits != 16) || (info & bi::kFloatComponents) || alpha > bi::kAlphaNoneSkipFirst)
        return std::nullopt;
    const bool first =
        alpha == bi::kAlphaPremultipliedFirst || alpha == bi::kAlphaFirst || alpha == bi::kAlphaNoneSkipFirst;
    SampleLayout l;
    l.step = image.bitsPerPixel() / bits;
    l.red = first ? 1 : 0;
    l.alpha = first ? 0 : 3;
    l.premultiplied = alpha == bi::kAlphaPremultipliedLast || alpha == bi::kAlphaPremultipliedFirst;
    // The platform's default order for 16-bit samples is big-endian.
    const uint32_t order = info & bi::kByteOrderMask;
    l.swap = bits == 16 && (order == bi::kByteOrderDefault || order == bi::kByteOrder16Big);
    if (l.red + 3 > l.step || (l.premultiplied && l.alpha >= l.step)) return std::nullopt;
    return l;
}

template <typename T> unsigned load(const uint8_t* p, size_t index, bool swap) {
    T v;
    std::memcpy(&v, p + index * sizeof(T), sizeof(T));
    if constexpr (sizeof(T) == 2)
        if (swap) v = T((v >> 8) | (v << 8));
    return v;
}

// round(v x 255 / 65535), exactly, without a division.
inline uint8_t to8(unsigned v) {
    const unsigned t = v * 255u + 32768u;
    return uint8_t((t + (t >> 16)) >> 16);
}

template <typename T> uint8_t to8Bits(unsigned v) {
    if constexpr (sizeof(T) == 1) {
        return uint8_t(v);
    } else {
        return to8(v);
    }
}

template <typename T> void convertRow(const uint8_t* in, size_t width, const SampleLayout& l, uint8_t* out) {
    constexpr unsigned kMax = sizeof(T) == 1 ? 255u : 65535u;
    for (size_t x = 0; x < width; ++x, in += l.step * sizeof(T), out += 3) {
        unsigned a = l.premultiplied ? load<T>(in, l.alpha, l.swap) : kMax;
        for (size_t c = 0; c < 3; ++c) {
            unsigned v = load<T>(in, l.red + c, l.swap);
            if (a != kMax) v = a ? std::min<unsigned>(kMax, unsigned((uint64_t(v) * kMax + a / 2) / a)) : 0;
            out[c] = to8Bits<T>(v);
        }
    }
}

// The output stage's own layout, host-order 16-bit R G B first and no premultiplied alpha,
// with the pixel step known to the compiler, so the loop vectorises.
template <size_t Step> void convertHostRow(const uint8_t* in, size_t width, uint8_t* out) {
    for (size_t x = 0; x < width; ++x, in += Step * 2, out += 3)
        for (size_t c = 0; c < 3; ++c)
            out[c] = to8(load<uint16_t>(in, c, false));
}

void convertImage(const platform::Bitmap& image, const uint8_t* data, size_t rowBytes, const SampleLayout& l,
                  uint8_t* out) {
    const size_t width = image.width();
    const bool host16 = image.bitsPerComponent() == 16 && !l.swap && !l.premultiplied && l.red == 0;
    platform::parallelRows(image.height(), 16, [&](const platform::RowRange& rows) {
        for (size_t y = rows.first; y < rows.last; ++y) {
            const uint8_t* in = data + y * rowBytes;
            uint8_t* to = out + y * width * 3;
            if (host16 && l.step == 4) {
                convertHostRow<4>(in, width, to);
            } else if (host16 && l.step == 3) {
                convertHostRow<3>(in, width, to);
            } else if (image.bitsPerComponent() == 8) {
                convertRow<uint8_t>(in, width, l, to);
            } else {
                convertRow<uint16_t>(in, width, l, to);
            }
        }
    });
}

} // namespace

int jpegQuality(double q) {
    if (!std::isfinite(q)) return 100;
    double percent = std::round(100 * q);
    return percent < 1 ? 1 : percent > 100 ? 100 : int(percent);
}

std::unique_ptr<uint8_t[]> rgb8Pixels(const std::shared_ptr<platform::Bitmap>& image) {
    if (!image || !image->data()) return nullptr;
    size_t pixels = 0, bytes = 0;
    if (__builtin_mul_overflow(image->width(), image->height(), &pixels) ||
        __builtin_mul_overflow(pixels, size_t(3), &bytes) || bytes > SIZE_MAX / 2)
        return nullptr;
    auto out = std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(bytes, 1));
    if (auto layout = sampleLayout(*image)) {
        convertImage(*image, image->data(), image->bytesPerRow(), *layout, out.get());
        return out;
    }
    // Float and 32-bit samples: the bitmap reader scales them to 16 bits first.
    auto bitmap = BitmapImage::create(image);
    std::vector<uint16_t> rgb16(bytes);
    if (!bitmap->getLinearBuffer(rgb16)) return nullptr;
    SampleLayout packed{3, 0, 0, false, false};
    convertImage(*image, reinterpret_cast<const uint8_t*>(rgb16.data()), image->width() * 6, packed,
                 out.get());
    return out;
}

void TurboJpegFree::operator()(unsigned char* p) const { tjFree(p); }

namespace {

// A 4:4:4 MCU is one 8 x 8 block of each component.
constexpr size_t kMcuSize = 8;
// Below about a megapixel one call takes a few milliseconds; bands would save too little.
constexpr size_t kBandedPixels = 1'000'000;

// One call of the coder on the rows given, which fit its limits.
std::optional<EncodedJpeg> compress(const uint8_t* rgb, size_t width, size_t height, int quality,
                                    std::string* failure) {
    tjhandle handle = tjInitCompress();
    if (!handle) {
        if (failure) *failure = tjGetErrorStr2(nullptr);
        return std::nullopt;
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    int result = tjCompress2(handle, rgb, int(width), int(width * 3), int(height), TJPF_RGB, &buffer, &size,
                             TJSAMP_444, quality, 0);
    EncodedJpeg jpeg{std::unique_ptr<unsigned char, TurboJpegFree>(buffer), size_t(size)};
    if (result != 0) {
        if (failure) *failure = tjGetErrorStr2(handle);
        tjDestroy(handle);
        return std::nullopt;
    }
    tjDestroy(handle);
    return jpeg;
}

} // namespace

namespace {

// Bands coded in any order go out in the stream's order: the thread that codes the band the
// stream waits for writes it, and the ready ones after it, while the others go on coding;
// no thread ever waits for another's write.
class BandWriter {
  public:
    enum class Outcome { Written, CoderFailed, Unjoinable, SinkFailed };

    BandWriter(JpegSink& sink, size_t count, size_t height, size_t restartInterval)
        : sink_(sink), joiner_(height, restartInterval), bands_(count), ready_(count) {}

    void coded(size_t band, std::optional<EncodedJpeg> stream) {
        {
            std::lock_guard guard(lock_);
            bands_[band] = std::move(stream);
            ready_[band] = 1;
            if (writing_) return;
            writing_ = true;
        }
        for (;;) {
            std::optional<EncodedJpeg> next;
            size_t index = 0;
            {
                std::lock_guard guard(lock_);
                if (outcome_ != Outcome::Written || next_ == bands_.size() || !ready_[next_]) {
                    writing_ = false;
                    return;
                }
                index = next_++;
                next = std::move(bands_[index]);
            }
            const Outcome outcome = write(next);
            if (outcome != Outcome::Written) {
                std::lock_guard guard(lock_);
                outcome_ = outcome, stoppedAt_ = index;
            }
        }
    }

    // Once every band was coded: what stopped the writing first in the stream's order, and at
    // which band; Written when all went out.
    Outcome outcome() const { return outcome_; }
    size_t stoppedAt() const { return stoppedAt_; }

  private:
    Outcome write(const std::optional<EncodedJpeg>& band) {
        if (!band) return Outcome::CoderFailed;
        pieces_.clear();
        if (!joiner_.add(band->bytes(), pieces_)) return Outcome::Unjoinable;
        for (std::string_view piece : pieces_)
            if (!sink_.write(piece)) return Outcome::SinkFailed;
        return Outcome::Written;
    }

    JpegSink& sink_;
    JpegBandJoiner joiner_;                         // the writer's alone
    std::vector<std::string_view> pieces_;          // the writer's alone
    std::mutex lock_;                               // guards what follows
    std::vector<std::optional<EncodedJpeg>> bands_; // coded, not written
    std::vector<uint8_t> ready_;
    size_t next_ = 0;
    bool writing_ = false;
    Outcome outcome_ = Outcome::Written;
    size_t stoppedAt_ = 0;
};

// The whole stream in memory.
class MemorySink : public JpegSink {
  public:
    bool write(std::string_view piece) override {
        bytes_ += piece;
        return true;
    }
    bool restart() override {
        bytes_.clear();
        return true;
    }
    std::optional<EncodedJpeg> take(std::string* failure) {
        if (bytes_.size() > INT_MAX) { // what tjAlloc can give
            if (failure) *failure = "The JPEG stream is larger than 2 GB";
            return std::nullopt;
        }
        EncodedJpeg out{std::unique_ptr<unsigned char, TurboJpegFree>(tjAlloc(int(bytes_.size()))),
                        bytes_.size()};
        if (!out.data) {
            if (failure) *failure = "No memory for the JPEG stream";
            return std::nullopt;
        }
        std::memcpy(out.data.get(), bytes_.data(), bytes_.size());
        return out;
    }

  private:
    std::string bytes_;
};

// Bands enough to spread a large image over the workers of the calling task's queue (else
// the shared one), two a worker, so that one busy elsewhere holds back no more than half a
// share; a smaller image in one band.
size_t defaultBandRows(size_t width, size_t height) {
    size_t bands = 1;
    if (width <= 65535 && height <= 65535 && width * height >= kBandedPixels) {
        platform::ConcurrentQueue* queue = platform::ConcurrentQueue::current();
        bands = 2 * size_t((queue ? *queue : platform::ConcurrentQueue::shared()).concurrency());
    }
    return (height + bands - 1) / bands;
}

} // namespace

bool encodeJpegInBandsTo(const uint8_t* rgb, size_t width, size_t height, int quality, size_t bandRows,
                         JpegSink& sink, std::string* failure) {
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        if (failure) *failure = "A JPEG image is 1 to 65,535 pixels wide and high";
        return false;
    }
    const auto oneCall = [&] {
        auto whole = compress(rgb, width, height, quality, failure);
        return whole && sink.write(whole->bytes());
    };
    if (bandRows >= height) return oneCall(); // one band, however wide
    // Bands of whole MCU rows, whose MCUs are one restart interval, a 16-bit count.
    const size_t mcusPerRow = (width + kMcuSize - 1) / kMcuSize;
    const size_t mcuRows = std::clamp<size_t>((bandRows + kMcuSize - 1) / kMcuSize, 1, 65535 / mcusPerRow);
    bandRows = mcuRows * kMcuSize;
    if (bandRows >= height) return oneCall();

    const size_t count = (height + bandRows - 1) / bandRows;
    std::vector<std::string> reasons(count);
    BandWriter writer(sink, count, height, mcusPerRow * mcuRows);
    platform::parallelRows(height, bandRows, [&](const platform::RowRange& rows) {
        const size_t band = rows.first / bandRows;
        writer.coded(band,
                     compress(rgb + rows.first * width * 3, width, rows.size(), quality, &reasons[band]));
    });
    switch (writer.outcome()) {
    case BandWriter::Outcome::Written:
        return sink.write(JpegBandJoiner::end());
    case BandWriter::Outcome::CoderFailed:
        if (failure) *failure = reasons[writer.stoppedAt()];
        return false;
    case BandWriter::Outcome::Unjoinable:
        // The coder's environment can ask it for optimised tables or restarts of its own,
        // which bands cannot share: one call then.
        return sink.restart() && oneCall();
    case BandWriter::Outcome::SinkFailed:
        break;
    }
    return false;
}

bool encodeJpegTo(const uint8_t* rgb, size_t width, size_t height, int quality, JpegSink& sink,
                  std::string* failure) {
    return encodeJpegInBandsTo(rgb, width, height, quality, defaultBandRows(width, height), sink, failure);
}

std::optional<EncodedJpeg> encodeJpegInBands(const uint8_t* rgb, size_t width, size_t height, int quality,
                                             size_t bandRows, std::string* failure) {
    MemorySink memory;
    if (!encodeJpegInBandsTo(rgb, width, height, quality, bandRows, memory, failure)) return std::nullopt;
    return memory.take(failure);
}

std::optional<EncodedJpeg> encodeJpeg(const uint8_t* rgb, size_t width, size_t height, int quality,
                                      std::string* failure) {
    return encodeJpegInBands(rgb, width, height, quality, defaultBandRows(width, height), failure);
}
