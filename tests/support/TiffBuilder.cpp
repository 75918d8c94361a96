#include "tests/support/TiffBuilder.h"

#include <bit>
#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr uint32_t kHeaderSize = 8;

uint32_t even(uint32_t v) { return v + (v & 1); }

uint32_t ifdSize(size_t entries) { return uint32_t(2 + 12 * entries + 4); }

uint32_t valueSize(const std::vector<uint64_t>& units, int unit) {
    return uint32_t(units.size()) * uint32_t(unit);
}

} // namespace

using Ifd = TiffBuilder::Ifd;

Ifd& Ifd::addUnits(uint16_t tag, uint16_t type, uint32_t count, int unit, std::vector<uint64_t> units) {
    entries_.push_back(Entry{tag, type, count, unit, std::move(units), Entry::Ref::None, {}});
    return *this;
}

Ifd& Ifd::bytes(uint16_t tag, std::vector<uint8_t> values, uint16_t type) {
    const auto count = uint32_t(values.size());
    return addUnits(tag, type, count, 1, {values.begin(), values.end()});
}

Ifd& Ifd::ascii(uint16_t tag, std::string_view text) {
    std::vector<uint64_t> units(text.begin(), text.end());
    units.push_back(0);
    const auto count = uint32_t(units.size()); // before the move below
    return addUnits(tag, 2, count, 1, std::move(units));
}

Ifd& Ifd::shorts(uint16_t tag, const std::vector<uint16_t>& values) {
    return addUnits(tag, 3, uint32_t(values.size()), 2, {values.begin(), values.end()});
}

Ifd& Ifd::sshorts(uint16_t tag, const std::vector<int16_t>& values) {
    std::vector<uint64_t> units;
    for (int16_t v : values)
        units.push_back(uint16_t(v));
    return addUnits(tag, 8, uint32_t(values.size()), 2, std::move(units));
}

Ifd& Ifd::longs(uint16_t tag, const std::vector<uint32_t>& values) {
    return addUnits(tag, 4, uint32_t(values.size()), 4, {values.begin(), values.end()});
}

Ifd& Ifd::slongs(uint16_t tag, const std::vector<int32_t>& values) {
    std::vector<uint64_t> units;
    for (int32_t v : values)
        units.push_back(uint32_t(v));
    return addUnits(tag, 9, uint32_t(values.size()), 4, std::move(units));
}

Ifd& Ifd::rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values) {
    std::vector<uint64_t> units;
    for (auto [n, d] : values)
        units.insert(units.end(), {n, d});
    return addUnits(tag, 5, uint32_t(values.size()), 4, std::move(units));
}

Ifd& Ifd::srationals(uint16_t tag, const std::vector<std::pair<int32_t, int32_t>>& values) {
    std::vector<uint64_t> units;
    for (auto [n, d] : values)
        units.insert(units.end(), {uint32_t(n), uint32_t(d)});
    return addUnits(tag, 10, uint32_t(values.size()), 4, std::move(units));
}

Ifd& Ifd::floats(uint16_t tag, const std::vector<float>& values) {
    std::vector<uint64_t> units;
    for (float v : values)
        units.push_back(std::bit_cast<uint32_t>(v));
    return addUnits(tag, 11, uint32_t(values.size()), 4, std::move(units));
}

Ifd& Ifd::doubles(uint16_t tag, const std::vector<double>& values) {
    std::vector<uint64_t> units;
    for (double v : values)
        units.push_back(std::bit_cast<uint64_t>(v));
    return addUnits(tag, 12, uint32_t(values.size()), 8, std::move(units));
}

Ifd& Ifd::raw(uint16_t tag, uint16_t type, uint32_t count, std::vector<uint8_t> valueBytes) {
    return addUnits(tag, type, count, 1, {valueBytes.begin(), valueBytes.end()});
}

Ifd& Ifd::blockOffsets(uint16_t tag, const std::vector<int>& blocks) {
    addUnits(tag, 4, uint32_t(blocks.size()), 4, std::vector<uint64_t>(blocks.size()));
    entries_.back().ref = Entry::Ref::Block;
    entries_.back().targets.assign(blocks.begin(), blocks.end());
    return *this;
}

Ifd& Ifd::ifdOffsets(uint16_t tag, const std::vector<const Ifd*>& children, uint16_t type) {
    addUnits(tag, type, uint32_t(children.size()), 4, std::vector<uint64_t>(children.size()));
    entries_.back().ref = Entry::Ref::Ifd;
    for (const Ifd* child : children)
        entries_.back().targets.push_back(child->index_);
    return *this;
}

Ifd& Ifd::nextIfdOffset(uint32_t offset) {
    hasNextOverride_ = true;
    nextOverride_ = offset;
    return *this;
}

Ifd& TiffBuilder::addIfd() {
    Ifd& ifd = addSubIfd();
    chain_.push_back(ifd.index_);
    return ifd;
}

Ifd& TiffBuilder::addSubIfd() {
    ifds_.emplace_back();
    ifds_.back().index_ = ifds_.size() - 1;
    return ifds_.back();
}

int TiffBuilder::addBlock(std::vector<uint8_t> data) {
    blocks_.push_back(std::move(data));
    return int(blocks_.size() - 1);
}

// Each IFD is followed by its out-of-line values; the blocks come last.
TiffBuilder::Layout TiffBuilder::layout() const {
    Layout l;
    uint32_t at = kHeaderSize;
    for (const Ifd& ifd : ifds_) {
        l.ifdOffsets.push_back(at);
        at += ifdSize(ifd.entries_.size());
        for (const auto& e : ifd.entries_)
            if (valueSize(e.units, e.unit) > 4) at = even(at + valueSize(e.units, e.unit));
    }
    for (const auto& block : blocks_) {
        l.blockOffsets.push_back(at);
        at = even(at + uint32_t(block.size()));
    }
    l.end = at;
    return l;
}

uint32_t TiffBuilder::offsetOf(const Ifd& ifd) const { return layout().ifdOffsets.at(ifd.index_); }

uint32_t TiffBuilder::blockOffsetOf(int block) const { return layout().blockOffsets.at(size_t(block)); }

void TiffBuilder::put(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) const {
    for (int i = 0; i < bytes; ++i) {
        int shift = order_ == Order::Little ? 8 * i : 8 * (bytes - 1 - i);
        out.at(at + size_t(i)) = uint8_t(value >> shift);
    }
}

uint64_t TiffBuilder::unitValue(const Ifd::Entry& e, size_t i, const Layout& l) const {
    switch (e.ref) {
    case Ifd::Entry::Ref::Block:
        return l.blockOffsets.at(e.targets[i]);
    case Ifd::Entry::Ref::Ifd:
        return l.ifdOffsets.at(e.targets[i]);
    default:
        return e.units[i];
    }
}

std::vector<uint8_t> TiffBuilder::build() const {
    const Layout l = layout();
    std::vector<uint8_t> out(l.end, 0);
    out[0] = out[1] = order_ == Order::Little ? 'I' : 'M';
    put(out, 2, magic_, 2);
    put(out, 4, chain_.empty() ? 0 : l.ifdOffsets[chain_[0]], 4);
    for (const Ifd& ifd : ifds_) {
        uint32_t at = l.ifdOffsets[ifd.index_];
        uint32_t values = at + ifdSize(ifd.entries_.size());
        put(out, at, ifd.entries_.size(), 2);
        for (size_t k = 0; k < ifd.entries_.size(); ++k) {
            const auto& e = ifd.entries_[k];
            uint32_t entry = at + 2 + 12 * uint32_t(k);
            put(out, entry, e.tag, 2);
            put(out, entry + 2, e.type, 2);
            put(out, entry + 4, e.count, 4);
            uint32_t size = valueSize(e.units, e.unit);
            uint32_t dest = size > 4 ? values : entry + 8;
            if (size > 4) {
                put(out, entry + 8, values, 4);
                values = even(values + size);
            }
            for (size_t i = 0; i < e.units.size(); ++i)
                put(out, dest + i * size_t(e.unit), unitValue(e, i, l), e.unit);
        }
        uint32_t next = 0;
        for (size_t c = 0; c + 1 < chain_.size(); ++c)
            if (chain_[c] == ifd.index_) next = l.ifdOffsets[chain_[c + 1]];
        if (ifd.hasNextOverride_) next = ifd.nextOverride_;
        put(out, at + 2 + 12 * uint32_t(ifd.entries_.size()), next, 4);
    }
    for (size_t b = 0; b < blocks_.size(); ++b)
        std::memcpy(out.data() + l.blockOffsets[b], blocks_[b].data(), blocks_[b].size());
    return out;
}

std::vector<uint8_t> TiffBuilder::encode16(const std::vector<uint16_t>& values) const {
    std::vector<uint8_t> out(values.size() * 2);
    for (size_t i = 0; i < values.size(); ++i)
        put(out, 2 * i, values[i], 2);
    return out;
}

std::vector<uint8_t> TiffBuilder::encode32(const std::vector<uint32_t>& values) const {
    std::vector<uint8_t> out(values.size() * 4);
    for (size_t i = 0; i < values.size(); ++i)
        put(out, 4 * i, values[i], 4);
    return out;
}

} // namespace testsupport
