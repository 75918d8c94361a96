#include "bench/RenderFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "engine/core/BitmapImage.h"
#include "engine/core/TiledEngine.h"
#include "engine/stages/ThreadedImageEngine.h"
#include "platform/AtomicFile.h"
#include "platform/Plist.h"
#include "raw/wrapper/rawWrapper.h"
#include "settings/Schema.h"

namespace renderfile {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kStripRows = 512;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One field of /proc/self/status, in bytes.
uint64_t statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::stoull(line.substr(length + 1)) * 1024;
    return 0;
}

// An uncompressed little-endian 16-bit grey TIFF, strip by strip, through a temporary file.
class GreyTiff {
  public:
    GreyTiff(const std::filesystem::path& path, uint32_t width, uint32_t height, uint32_t rowsPerStrip)
        : file_(path), width_(width), height_(height), rowsPerStrip_(rowsPerStrip) {}

    bool open(platform::Error* error) {
        if (!file_.open(error)) return false;
        const uint32_t strips = (height_ + rowsPerStrip_ - 1) / rowsPerStrip_;
        const uint32_t entries = 10;
        const uint32_t ifdSize = 2 + entries * 12 + 4;
        const uint32_t tables = 8 + ifdSize;
        const uint32_t data = strips > 1 ? tables + 8 * strips : tables;
        std::string header = "II";
        put16(header, 42);
        put32(header, 8);
        put16(header, uint16_t(entries));
        const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
            put16(header, tag);
            put16(header, type);
            put32(header, count);
            if (type == 3 && count == 1)
                put16(header, uint16_t(value)), put16(header, 0);
            else
                put32(header, value);
        };
        const uint64_t stripBytes = uint64_t(width_) * rowsPerStrip_ * 2;
        entry(256, 4, 1, width_);                          // ImageWidth
        entry(257, 4, 1, height_);                         // ImageLength
        entry(258, 3, 1, 16);                              // BitsPerSample
        entry(259, 3, 1, 1);                               // Compression: none
        entry(262, 3, 1, 1);                               // PhotometricInterpretation: black is zero
        entry(273, 4, strips, strips > 1 ? tables : data); // StripOffsets
        entry(277, 3, 1, 1);                               // SamplesPerPixel
        entry(278, 4, 1, rowsPerStrip_);                   // RowsPerStrip
        entry(279, 4, strips, strips > 1 ? tables + 4 * strips : uint32_t(uint64_t(width_) * height_ * 2));
        entry(284, 3, 1, 1); // PlanarConfiguration: chunky
        put32(header, 0);
        if (strips > 1) {
            for (uint32_t s = 0; s < strips; ++s)
                put32(header, uint32_t(data + s * stripBytes));
            for (uint32_t s = 0; s < strips; ++s)
                put32(header,
                      uint32_t(uint64_t(std::min(rowsPerStrip_, height_ - s * rowsPerStrip_)) * width_ * 2));
        }
        return file_.write(header, error);
    }
    bool write(std::string_view littleEndianRows, platform::Error* error) {
        return file_.write(littleEndianRows, error);
    }
    bool commit(platform::Error* error) { return file_.commit(error); }

  private:
    static void put16(std::string& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); }
    static void put32(std::string& s, uint32_t v) {
        put16(s, uint16_t(v & 0xFFFF)), put16(s, uint16_t(v >> 16));
    }

    platform::AtomicFile file_;
    uint32_t width_, height_, rowsPerStrip_;
};

// The even mean of a strip's red, green and blue, as little-endian grey rows.
std::string greyRows(const platform::Bitmap& strip) {
    std::string grey(strip.width() * strip.height() * 2, '\0');
    size_t at = 0;
    for (size_t y = 0; y < strip.height(); ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(strip.data() + y * strip.bytesPerRow());
        for (size_t x = 0; x < strip.width(); ++x) {
            const auto v = uint16_t((uint32_t(row[4 * x]) + row[4 * x + 1] + row[4 * x + 2] + 1) / 3);
            grey[at++] = char(v & 0xFF), grey[at++] = char(v >> 8);
        }
    }
    return grey;
}

int32_t orientationOf(const platform::Dictionary& settings) {
    const auto found = settings.find(settings::ImageOrientation.c_str());
    return found == settings.end() ? 0 : found->second.intValue();
}

class Run {
  public:
    Run(const Options& options, Result& result) : o_(options), r_(result) {}

    void go() {
        wrapper_ = std::make_shared<rawWrapper>(o_.input, o_.input.filename().string(), false);
        engine_ = ThreadedImageEngine::create(wrapper_, false);
        r_.engine = engine_;
        engine_->setImageParameters(o_.settings);
        resetPeakResident();
        // The decode on its own first, so that its memory and time stand apart.
        const auto start = Clock::now();
        engine_->processStage0();
        const double decodeSeconds = secondsSince(start);
        r_.decodePeakBytes = peakResidentBytes();
        r_.decoderStatus = wrapper_->dcStatus().value_or("");
        if (const auto error = wrapper_->error()) return fail(error->failureReason);
        resetPeakResident();
        r_.afterDecodeBytes = statusBytes("VmRSS");
        if (!exportRender(decodeSeconds, nullptr, engine_->statistics())) return;
        if (!o_.then) return;
        platform::Dictionary changed = o_.settings;
        changed[o_.then->first] = o_.then->second;
        // The change's own render (a pass for keys of stages 0 to 3) counts with the export's.
        const auto before = engine_->statistics();
        const auto again = Clock::now();
        engine_->invalidateImageStage(std::vector<std::string>{o_.then->first}, changed);
        exportRender(0, &again, before);
    }

  private:
    void fail(std::string message) {
        r_.exitStatus = 1;
        r_.message = std::move(message);
    }

    // As the document exports: the type's rendering space, the whole image rendered without
    // delegate, the output stage's cache flushed, then the image at scale 1, here in strips.
    bool exportRender(double decodeSeconds, const Clock::time_point* begun,
                      const ThreadedImageEngine::Statistics& before) {
        const auto start = begun ? *begun : Clock::now();
        engine_->configureRenderingSpaceForType(o_.type, false);
        engine_->engineActiveRectDirty();
        const double stagesSeconds = secondsSince(start);
        const auto output = engine_->outputImage();
        if (!output) {
            fail("Internal Error - finalCGImage does not exist");
            return false;
        }
        const auto exportStart = Clock::now();
        output->flushCache();
        if (!writeStrips(*output, orientationOf(engine_->imageParameters().value_or(o_.settings))))
            return false;
        const auto after = engine_->statistics();
        RenderStats s;
        s.decodes = after.newImages - before.newImages + (begun ? 0 : 1);
        s.stage0Runs = after.decodes - before.decodes + (begun ? 0 : 1);
        for (int i = 1; i < 4; ++i)
            s.stageTiles[i] = after.stageTiles[i] - before.stageTiles[i];
        s.decodeSeconds = decodeSeconds;
        s.stagesSeconds = stagesSeconds;
        s.exportSeconds = secondsSince(exportStart);
        s.totalSeconds = secondsSince(start) + decodeSeconds;
        s.peakBytes = peakResidentBytes();
        r_.renders.push_back(s);
        return true;
    }

    // Upright images go in strips; a turned or mirrored one in one piece, as its strips
    // would not stack.
    bool writeStrips(TiledEngine& output, int32_t orientation) {
        const auto space = engine_->renderingSpace();
        const platform::Rect extent = output.extent();
        const auto width = uint32_t(extent.width), height = uint32_t(extent.height);
        const bool upright = orientation == 0 || orientation == 1;
        const uint32_t rows = upright ? kStripRows : height;
        std::unique_ptr<GreyTiff> tiff;
        platform::Error error;
        for (uint32_t y = 0; y < height; y += rows) {
            const uint32_t h = std::min(rows, height - y);
            const platform::Rect rect{0, double(height - y - h), double(width), double(h)};
            const auto tile = output.imageTile(0, 1.0, rect, space, nullptr, false, orientation);
            const auto bitmap = tile ? tile->getImageRef() : nullptr;
            if (!bitmap || bitmap->bitsPerComponent() != 16 || bitmap->bitsPerPixel() != 64) {
                fail("Internal Error - could not get linear buffer to export");
                return false;
            }
            if (!tiff) {
                r_.width = uint32_t(bitmap->width());
                r_.height = upright ? height : uint32_t(bitmap->height());
                tiff = std::make_unique<GreyTiff>(o_.output, r_.width, r_.height, upright ? rows : r_.height);
                if (!tiff->open(&error)) break;
            }
            if (o_.onStrip) o_.onStrip(int(r_.renders.size()), y, *bitmap);
            if (!tiff->write(greyRows(*bitmap), &error)) break;
        }
        if (tiff && error.failureReason.empty() && tiff->commit(&error)) return true;
        fail(error.failureReason.empty() ? "nothing to write" : error.failureReason);
        return false;
    }

    const Options& o_;
    Result& r_;
    std::shared_ptr<rawWrapper> wrapper_;
    std::shared_ptr<ThreadedImageEngine> engine_;
};

std::string megabytes(uint64_t bytes) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << bytes / 1048576.0 << " MiB";
    return s.str();
}

void printStats(const Result& result, std::ostream& out) {
    const uint64_t afterDecode = result.afterDecodeBytes;
    const double image = double(result.width) * result.height * 8;
    out << std::fixed << std::setprecision(3);
    out << "image: " << result.width << " x " << result.height << " (16-bit RGBA "
        << megabytes(uint64_t(image)) << ")\n";
    out << "decode peak: " << megabytes(result.decodePeakBytes) << ", resident after it "
        << megabytes(afterDecode) << "\n";
    for (size_t i = 0; i < result.renders.size(); ++i) {
        const RenderStats& s = result.renders[i];
        out << "render " << i + 1 << ": decodes " << s.decodes << " (stage-0 runs " << s.stage0Runs
            << "), tiles stage 1 " << s.stageTiles[1] << ", stage 2 " << s.stageTiles[2] << ", stage 3 "
            << s.stageTiles[3] << "\n";
        out << "  decode " << s.decodeSeconds << " s, stages " << s.stagesSeconds << " s, export "
            << s.exportSeconds << " s, total " << s.totalSeconds << " s\n";
        if (image > 0)
            out << "  peak since the decode " << megabytes(s.peakBytes) << ": growth " << std::setprecision(2)
                << (double(s.peakBytes) - double(afterDecode)) / image << " images, whole run "
                << std::max(double(s.peakBytes), double(result.decodePeakBytes)) / image << " images\n"
                << std::setprecision(3);
    }
}

constexpr const char* kUsage =
    "usage: render_file [--settings S.plist] [--type UTI] [--then KEY=VALUE] [--stats] IN OUT.tiff\n";

} // namespace

platform::Value parseValue(const std::string& text) {
    if (text == "true" || text == "YES") return true;
    if (text == "false" || text == "NO") return false;
    char* end = nullptr;
    const long long integer = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0') return integer;
    const double real = std::strtod(text.c_str(), &end);
    if (!text.empty() && *end == '\0') return real;
    return text;
}

uint64_t peakResidentBytes() { return statusBytes("VmHWM"); }

void resetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

Result renderFile(const Options& options) {
    Result result;
    Run(options, result).go();
    return result;
}

int main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options options;
    bool stats = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--stats") {
            stats = true;
        } else if ((a == "--settings" || a == "--type" || a == "--then") && hasValue) {
            const std::string& v = args[++i];
            if (a == "--type") {
                options.type = v;
            } else if (a == "--then") {
                const size_t eq = v.find('=');
                if (eq == std::string::npos || eq == 0) {
                    err << "render_file: --then wants KEY=VALUE\n" << kUsage;
                    return 2;
                }
                options.then.emplace(v.substr(0, eq), parseValue(v.substr(eq + 1)));
            } else {
                platform::Value root;
                platform::Error error;
                if (!platform::readPlistFile(v, root, &error) || !root.dictionary()) {
                    err << "render_file: " << v << ": not a settings dictionary " << error.failureReason
                        << "\n";
                    return 2;
                }
                options.settings = *root.dictionary();
            }
        } else if (!a.empty() && a[0] == '-') {
            err << "render_file: unknown option " << a << "\n" << kUsage;
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        err << kUsage;
        return 2;
    }
    options.input = files[0];
    options.output = files[1];
    const Result result = renderFile(options);
    if (result.exitStatus != 0) {
        err << "render_file: " << options.input.string() << ": " << result.message;
        if (!result.decoderStatus.empty()) err << " (decoder status: " << result.decoderStatus << ")";
        err << "\n";
        return result.exitStatus;
    }
    if (stats) printStats(result, out);
    return 0;
}

} // namespace renderfile
