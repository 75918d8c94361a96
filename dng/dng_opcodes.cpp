#include "dng/dng_opcodes.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_info.h"
#include "dng/dng_opcode_list.h"
#include "dng/dng_stream.h"

namespace {
// Lists larger than this are not opcode lists any writer makes.
constexpr uint32_t kMaxOpcodes = 4096;
} // namespace

dng_opcode_Unknown::dng_opcode_Unknown(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_opcode(id, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = stream.Get_uint32();
    if (size > stream.Length() - stream.Position()) ThrowBadFormat("Opcode parameters beyond the end of the list");
    fData.resize(size);
    if (size) stream.Get(fData.data(), size);
}

void dng_opcode_Unknown::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(fData.size()));
    if (!fData.empty()) stream.Put(fData.data(), uint32_t(fData.size()));
}

void dng_opcode_Unknown::Apply(dng_host&, dng_negative&, std::unique_ptr<dng_image>&) {
    ThrowBadFormat("Required opcode of an unknown kind");
}

void ParseOpcodeList(dng_host& host, dng_stream& stream, uint64_t offset, uint32_t count, dng_opcode_list& list) {
    if (count < 4) ThrowBadFormat("Opcode list too short");
    const uint64_t length = stream.Length();
    if (offset > length || count > length - offset) ThrowBadFormat("Opcode list beyond the end of the file");
    // The list's stream form is big-endian whatever the file's byte order.
    TempBigEndian order(stream);
    stream.SetReadPosition(offset);
    const uint64_t end = offset + count;
    const uint32_t opcodes = stream.Get_uint32();
    if (opcodes > kMaxOpcodes || uint64_t(opcodes) * 16 > count - 4) ThrowBadFormat("Bad opcode count");
    list.Clear();
    for (uint32_t i = 0; i < opcodes; ++i) {
        host.SniffForAbort();
        if (stream.Position() + 16 > end) ThrowBadFormat("Opcode beyond the end of its list");
        const uint32_t id = stream.Get_uint32();
        const uint32_t minVersion = stream.Get_uint32();
        const uint32_t flags = stream.Get_uint32();
        const uint64_t sizeAt = stream.Position();
        const uint32_t size = stream.Get_uint32();
        if (size > end - stream.Position()) ThrowBadFormat("Opcode parameters beyond the end of the list");
        stream.SetReadPosition(sizeAt);
        std::unique_ptr<dng_opcode> opcode = MakeOpcode(id, minVersion, flags, stream);
        // Whatever the opcode read, the next one starts after this one's block.
        stream.SetReadPosition(sizeAt + 4 + size);
        list.Append(std::move(opcode));
    }
}

std::unique_ptr<dng_opcode> MakeOpcode(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream) {
    switch (id) {
    default:
        return std::make_unique<dng_opcode_Unknown>(id, minVersion, flags, stream);
    }
}
