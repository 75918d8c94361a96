#pragma once
// The opcodes of one processing stage, in application order. In this program every list stays
// empty: it is only checked, applied (to no effect), written (as nothing) and digested.
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>
#include <vector>

class dng_host;
class dng_image;
class dng_memory_block;
class dng_negative;
class dng_opcode;
class dng_stream;

class dng_opcode_list : private dng_uncopyable {
  public:
    explicit dng_opcode_list(uint32_t stage);
    ~dng_opcode_list();

    bool IsEmpty() const { return fList.empty(); }
    bool NotEmpty() const { return !IsEmpty(); }
    uint32_t Count() const { return uint32_t(fList.size()); }
    const dng_opcode& Entry(uint32_t index) const { return *fList[index]; }
    uint32_t Stage() const { return fStage; }
    bool HasOpcodeIdZero() const { return fHasOpcodeIdZero; }
    // A list that holds an opcode of id 0 must be stored, never applied ahead of time.
    bool AlwaysApply() const { return fHasOpcodeIdZero && NotEmpty(); }

    void Clear();
    void Append(std::unique_ptr<dng_opcode> opcode);

    // The largest minimum reader version of the opcodes; 0 for an empty list.
    uint32_t MinVersion(bool includeOptional) const;

    void Apply(dng_host& host, dng_negative& negative, std::unique_ptr<dng_image>& image);

    // The stream form in the stream's byte order; nothing for an empty list.
    void Write(dng_stream& stream) const;
    // The big-endian stream form, or null for an empty list. The caller owns the block.
    std::unique_ptr<dng_memory_block> Spool(dng_host& host) const;

  private:
    std::vector<std::unique_ptr<dng_opcode>> fList;
    bool fHasOpcodeIdZero = false;
    uint32_t fStage;
};
