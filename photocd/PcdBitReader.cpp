#include "photocd/PcdBitReader.h"

namespace photocd {

bool PcdBitReader::start(PcdFile& file, uint64_t offset) {
    file_ = &file;
    length_ = position_ = 0;
    window_ = 0;
    valid_ = 0;
    if (!file.seek(offset)) return false;
    refill();
    return valid_ > 0;
}

bool PcdBitReader::nextByte(uint8_t& byte) {
    if (position_ == length_) {
        length_ = file_ ? file_->read(buffer_.data(), buffer_.size()) : 0;
        position_ = 0;
        if (length_ == 0) return false;
    }
    byte = buffer_[position_++];
    return true;
}

void PcdBitReader::refill() {
    uint8_t byte = 0;
    while (valid_ < 25 && nextByte(byte)) {
        window_ |= static_cast<uint32_t>(byte) << (24 - valid_);
        valid_ += 8;
    }
}

bool PcdBitReader::advance(int bits) {
    if (bits < 0 || bits > valid_) return false;
    window_ = bits >= 32 ? 0 : window_ << bits;
    valid_ -= bits;
    refill();
    return true;
}

bool PcdBitReader::resync() {
    // Byte steps find the run of ones cheaply; single bits then align on its end.
    while ((window_ & 0x00FFF000u) != 0x00FFF000u)
        if (!advance(8)) return false;
    while (valid_ < 24 || (window_ >> 8) != 0xFFFFFEu)
        if (!advance(1)) return false;
    return true;
}

} // namespace photocd
