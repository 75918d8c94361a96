#pragma once
// Builds small TIFF/DNG files for parser tests: either byte order, values inline or at
// offsets as TIFF lays them out, a chain of IFDs, sub-IFDs reached through pointer tags
// (SubIFDs 330, EXIF 34665, GPS 34853, maker notes...), and raw data blocks (strips,
// tiles, maker-note bodies) whose offsets tags can point at.
//
//   TiffBuilder tiff(TiffBuilder::Order::Big);
//   auto& exif = tiff.addSubIfd();
//   exif.rationals(33434, {{1, 60}});
//   int strip = tiff.addBlock(pixels);
//   tiff.addIfd().longs(256, {64}).blockOffset(273, strip).ifdOffset(34665, exif);
//   MemoryFile file(tiff.build());
#include <cstdint>
#include <deque>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

class TiffBuilder {
  public:
    enum class Order { Little, Big };

    class Ifd {
      public:
        Ifd& bytes(uint16_t tag, std::vector<uint8_t> values, uint16_t type = 1); // 1, 6 or 7
        Ifd& ascii(uint16_t tag, std::string_view text);                          // NUL added
        Ifd& shorts(uint16_t tag, const std::vector<uint16_t>& values);
        Ifd& sshorts(uint16_t tag, const std::vector<int16_t>& values);
        Ifd& longs(uint16_t tag, const std::vector<uint32_t>& values);
        Ifd& slongs(uint16_t tag, const std::vector<int32_t>& values);
        Ifd& rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values);
        Ifd& srationals(uint16_t tag, const std::vector<std::pair<int32_t, int32_t>>& values);
        Ifd& floats(uint16_t tag, const std::vector<float>& values);
        Ifd& doubles(uint16_t tag, const std::vector<double>& values);
        // Any type and count, with the value bytes exactly as given (counts may lie).
        Ifd& raw(uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> valueBytes);
        // LONG values holding the file offsets of data blocks.
        Ifd& blockOffset(uint16_t tag, int block) { return blockOffsets(tag, {block}); }
        Ifd& blockOffsets(uint16_t tag, const std::vector<int>& blocks);
        // Pointers to other IFDs of this builder (type LONG, or 13 IFD).
        Ifd& ifdOffset(uint16_t tag, const Ifd& child, uint16_t type = 4) {
            return ifdOffsets(tag, {&child}, type);
        }
        Ifd& ifdOffsets(uint16_t tag, const std::vector<const Ifd*>& children, uint16_t type = 4);
        // Replaces the pointer to the next IFD (self-references, garbage offsets).
        Ifd& nextIfdOffset(uint32_t offset);

      private:
        friend class TiffBuilder;
        struct Entry {
            uint16_t tag, type;
            uint32_t count;
            int unit;                    // bytes per stored unit
            std::vector<uint64_t> units; // values, each `unit` bytes in the file's order
            enum class Ref { None, Block, Ifd } ref = Ref::None;
            std::vector<size_t> targets;
        };
        Ifd& addUnits(uint16_t tag, uint16_t type, uint32_t count, int unit, std::vector<uint64_t> units);

        std::vector<Entry> entries_;
        size_t index_ = 0;
        bool hasNextOverride_ = false;
        uint32_t nextOverride_ = 0;
    };

    explicit TiffBuilder(Order order = Order::Little) : order_(order) {}

    Ifd& addIfd();    // the next IFD of the main chain
    Ifd& addSubIfd(); // an IFD reached only through a pointer tag
    int addBlock(std::vector<uint8_t> data);
    void setMagic(uint16_t magic) { magic_ = magic; }

    std::vector<uint8_t> build() const;
    // Where build() puts an IFD or a block.
    uint32_t offsetOf(const Ifd& ifd) const;
    uint32_t blockOffsetOf(int block) const;

    // Numbers in this builder's byte order, for hand-made blocks.
    std::vector<uint8_t> encode16(const std::vector<uint16_t>& values) const;
    std::vector<uint8_t> encode32(const std::vector<uint32_t>& values) const;

  private:
    struct Layout {
        std::vector<uint32_t> ifdOffsets;
        std::vector<uint32_t> blockOffsets;
        uint32_t end = 0;
    };
    Layout layout() const;
    void put(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) const;
    uint64_t unitValue(const Ifd::Entry& e, size_t i, const Layout& l) const;

    Order order_;
    uint16_t magic_ = 42;
    std::deque<Ifd> ifds_;
    std::vector<size_t> chain_;
    std::vector<std::vector<uint8_t>> blocks_;
};

} // namespace testsupport
