#include "dng/dng_opcode_list.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_opcode.h"

#include <algorithm>

namespace {
constexpr uint32_t kMaxStreamVersion = 0x01050000;

// Whether the opcode runs; skipping a preview-only opcode is remembered on the negative.
bool ShouldApply(const dng_opcode& opcode, const dng_host& host, dng_negative& negative) {
    if (opcode.SkipIfPreview() && host.ForPreview()) {
        negative.SetOpcodeSkipped();
        return false;
    }
    if (opcode.MinVersion() > kMaxStreamVersion && opcode.WasReadFromStream()) {
        if (opcode.Optional()) return false;
        ThrowBadFormat();
    }
    if (!opcode.IsValidForNegative(negative)) ThrowBadFormat();
    return !opcode.IsNOP();
}
} // namespace

void dng_opcode::PutData(dng_stream& stream) const { stream.Put_uint32(0); }

dng_opcode_list::dng_opcode_list(uint32_t stage) : fStage(stage) {}

dng_opcode_list::~dng_opcode_list() { Clear(); }

void dng_opcode_list::Clear() {
    for (auto& opcode : fList)
        opcode.reset();
    fList.clear();
    fHasOpcodeIdZero = false;
}

void dng_opcode_list::Append(std::unique_ptr<dng_opcode> opcode) {
    if (!opcode) return;
    if (opcode->OpcodeID() == 0) fHasOpcodeIdZero = true;
    opcode->SetStage(fStage);
    dng_guard_allocation([&] { fList.push_back(std::move(opcode)); });
}

uint32_t dng_opcode_list::MinVersion(bool includeOptional) const {
    uint32_t result = 0;
    for (const auto& opcode : fList)
        if (includeOptional || !opcode->Optional()) result = std::max(result, opcode->MinVersion());
    return result;
}

void dng_opcode_list::Apply(dng_host& host, dng_negative& negative, std::unique_ptr<dng_image>& image) {
    if (!image) ThrowProgramError("Bad image in dng_opcode_list::Apply");
    for (auto& opcode : fList) {
        if (!ShouldApply(*opcode, host, negative)) continue;
        opcode->BeforeApply(host, negative, image->Bounds(), image->Planes());
        opcode->Apply(host, negative, image);
        if (!image) ThrowProgramError("Bad image in dng_opcode_list::Apply");
    }
}

void dng_opcode_list::Write(dng_stream& stream) const {
    if (IsEmpty()) return;
    stream.Put_uint32(Count());
    for (const auto& opcode : fList) {
        stream.Put_uint32(opcode->OpcodeID());
        stream.Put_uint32(opcode->MinVersion());
        stream.Put_uint32(opcode->Flags());
        opcode->PutData(stream);
    }
}

std::unique_ptr<dng_memory_block> dng_opcode_list::Spool(dng_host& host) const {
    if (IsEmpty()) return nullptr;
    dng_memory_stream stream(host.Allocator());
    stream.SetBigEndian();
    Write(stream);
    stream.Flush();
    return stream.AsMemoryBlock(host.Allocator());
}
