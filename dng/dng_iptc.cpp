#include "dng/dng_iptc.h"

#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr uint8_t kTagMarker = 0x1C;
constexpr uint32_t kHeaderSize = 5;
// ISO 2022 escape that declares UTF-8, the value of dataset 1:90.
constexpr uint8_t kUTF8Escape[3] = {0x1B, 0x25, 0x47};

struct iim_dataset {
    uint8_t record;
    uint8_t dataset;
    const uint8_t* data;
    uint32_t length;
};

// Calls visit for each dataset in order. The walk ends where no more than a header remains,
// at a byte that is not a marker, and at a length the block cannot hold or an extended length
// (top bit set), so nothing is read past the block.
template <typename Visit> void ForEachDataset(const uint8_t* block, uint32_t size, Visit visit) {
    uint64_t pos = 0;
    while (size - pos > kHeaderSize) {
        const uint8_t* p = block + pos;
        if (p[0] != kTagMarker) return;
        const uint32_t length = uint32_t(p[3]) << 8 | p[4];
        if ((length & 0x8000) || length > size - pos - kHeaderSize) return;
        visit(iim_dataset{p[1], p[2], p + kHeaderSize, length});
        pos += kHeaderSize + length;
    }
}

std::string Bytes(const iim_dataset& d) {
    return std::string(reinterpret_cast<const char*>(d.data), d.length);
}

bool IsUTF8Declaration(const iim_dataset& d) {
    return d.length == sizeof(kUTF8Escape) && std::memcmp(d.data, kUTF8Escape, sizeof(kUTF8Escape)) == 0;
}

dng_string DecodeText(const iim_dataset& d, bool isUTF8) {
    const std::string bytes = Bytes(d);
    dng_string s;
    if (isUTF8)
        s.Set_UTF8(bytes.c_str());
    else
        s.Set_SystemEncoding(bytes.c_str());
    s.SetLineEndings('\n');
    s.StripLowASCII();
    s.TrimTrailingBlanks();
    return s;
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// The texts of record 2 by dataset number.
dng_string* TextField(dng_iptc& iptc, uint8_t dataset) {
    switch (dataset) {
    case 5:
        return &iptc.fTitle;
    case 15:
        return &iptc.fCategory;
    case 40:
        return &iptc.fInstructions;
    case 85:
        return &iptc.fAuthorsPosition;
    case 90:
        return &iptc.fCity;
    case 92:
        return &iptc.fLocation;
    case 95:
        return &iptc.fState;
    case 100:
        return &iptc.fCountryCode;
    case 101:
        return &iptc.fCountry;
    case 103:
        return &iptc.fTransmissionReference;
    case 105:
        return &iptc.fHeadline;
    case 110:
        return &iptc.fCredit;
    case 115:
        return &iptc.fSource;
    case 116:
        return &iptc.fCopyrightNotice;
    case 120:
        return &iptc.fDescription;
    case 122:
        return &iptc.fDescriptionWriter;
    default:
        return nullptr;
    }
}

dng_string_list* ListField(dng_iptc& iptc, uint8_t dataset) {
    switch (dataset) {
    case 20:
        return &iptc.fSupplementalCategories;
    case 25:
        return &iptc.fKeywords;
    case 80:
        return &iptc.fAuthors;
    default:
        return nullptr;
    }
}

void ReadDateTime(dng_iptc& iptc, const iim_dataset& d) {
    dng_date_time_info& dt =
        (d.dataset == 55 || d.dataset == 60) ? iptc.fDateTimeCreated : iptc.fDigitalCreationDateTime;
    const std::string text = Bytes(d);
    if ((d.dataset == 55 || d.dataset == 62) && d.length == 8) dt.DecodeIPTCDate(text.c_str());
    if ((d.dataset == 60 || d.dataset == 63) && d.length >= 4 && d.length <= 11)
        dt.DecodeIPTCTime(text.c_str());
}

void ReadDataset(dng_iptc& iptc, const iim_dataset& d, bool isUTF8) {
    if (dng_string* text = TextField(iptc, d.dataset)) {
        *text = DecodeText(d, isUTF8);
    } else if (dng_string_list* list = ListField(iptc, d.dataset)) {
        list->Append(DecodeText(d, isUTF8));
    } else if (d.dataset == 10) {
        if (d.length == 1 && IsDigit(d.data[0])) iptc.fUrgency = d.data[0] - '0';
    } else if (d.dataset == 55 || d.dataset == 60 || d.dataset == 62 || d.dataset == 63) {
        ReadDateTime(iptc, d);
    }
}

class iim_writer {
  public:
    explicit iim_writer(dng_memory_allocator& allocator) : fStream(allocator, nullptr, 2048) {
        fStream.SetBigEndian();
    }

    void Put(uint8_t record, uint8_t dataset, const void* data, uint32_t length) {
        fStream.Put_uint8(kTagMarker);
        fStream.Put_uint8(record);
        fStream.Put_uint8(dataset);
        fStream.Put_uint16(uint16_t(length));
        fStream.Put(data, length);
    }

    // Line endings become carriage returns; the text is cut to the limit on a character edge.
    void PutText(uint8_t dataset, const dng_string& text, uint32_t limit) {
        if (text.IsEmpty()) return;
        dng_string s = text;
        s.SetLineEndings('\r');
        s.Truncate(limit);
        Put(2, dataset, s.Get(), s.Length());
    }

    void PutList(uint8_t dataset, const dng_string_list& list, uint32_t limit) {
        for (uint32_t i = 0; i < list.Count(); ++i)
            PutText(dataset, list[i], limit);
    }

    void PutDateTime(uint8_t dateDataset, uint8_t timeDataset, const dng_date_time_info& dt) {
        if (dt.NotValid()) return;
        // A date-only value has no time text.
        for (const auto& [dataset, text] :
             {std::pair(dateDataset, dt.EncodeIPTCDate()), std::pair(timeDataset, dt.EncodeIPTCTime())})
            if (text.NotEmpty()) Put(2, dataset, text.Get(), text.Length());
    }

    std::unique_ptr<dng_memory_block> Finish(dng_memory_allocator& allocator, bool pad) {
        while (pad && fStream.Length() % 4 != 0)
            fStream.Put_uint8(0);
        fStream.Flush();
        return fStream.AsMemoryBlock(allocator);
    }

  private:
    dng_memory_stream fStream;
};

} // namespace

bool dng_iptc::IsEmpty() const {
    for (const dng_string* s : {&fTitle, &fCategory, &fInstructions, &fAuthorsPosition, &fCity, &fState,
                                &fCountry, &fCountryCode, &fLocation, &fTransmissionReference, &fHeadline,
                                &fCredit, &fSource, &fCopyrightNotice, &fDescription, &fDescriptionWriter})
        if (s->NotEmpty()) return false;
    return fSupplementalCategories.Count() == 0 && fKeywords.Count() == 0 && fAuthors.Count() == 0 &&
           fUrgency < 0 && fDateTimeCreated.NotValid() && fDigitalCreationDateTime.NotValid();
}

void dng_iptc::Parse(const void* blockData, uint32_t blockSize, int64_t) {
    if (!blockData) return;
    const uint8_t* block = static_cast<const uint8_t*>(blockData);
    bool hasCodedCharacterSet = false;
    bool declaredUTF8 = false;
    bool allValidUTF8 = true;
    ForEachDataset(block, blockSize, [&](const iim_dataset& d) {
        if (d.record == 1 && d.dataset == 90) {
            hasCodedCharacterSet = true;
            declaredUTF8 = declaredUTF8 || IsUTF8Declaration(d);
        } else if (d.record == 2 && allValidUTF8) {
            allValidUTF8 = dng_string::IsValidUTF8(Bytes(d).c_str());
        }
    });
    const bool isUTF8 = declaredUTF8 || (!hasCodedCharacterSet && allValidUTF8);
    ForEachDataset(block, blockSize, [&](const iim_dataset& d) {
        if (d.record == 2) ReadDataset(*this, d, isUTF8);
    });
}

std::unique_ptr<dng_memory_block> dng_iptc::Spool(dng_memory_allocator& allocator, bool padForTIFF) const {
    iim_writer w(allocator);
    w.Put(1, 90, kUTF8Escape, sizeof(kUTF8Escape));
    const uint8_t recordVersion[2] = {0, 4};
    w.Put(2, 0, recordVersion, sizeof(recordVersion));
    w.PutText(5, fTitle, 64);
    if (fUrgency >= 0 && fUrgency <= 9) {
        const char digit = char('0' + fUrgency);
        w.Put(2, 10, &digit, 1);
    }
    w.PutText(15, fCategory, 3);
    w.PutList(20, fSupplementalCategories, 32);
    w.PutList(25, fKeywords, 64);
    w.PutText(40, fInstructions, 255);
    w.PutDateTime(55, 60, fDateTimeCreated);
    w.PutDateTime(62, 63, fDigitalCreationDateTime);
    w.PutList(80, fAuthors, 32);
    w.PutText(85, fAuthorsPosition, 32);
    w.PutText(90, fCity, 32);
    w.PutText(92, fLocation, 32);
    w.PutText(95, fState, 32);
    w.PutText(100, fCountryCode, 3);
    w.PutText(101, fCountry, 64);
    w.PutText(103, fTransmissionReference, 32);
    w.PutText(105, fHeadline, 255);
    w.PutText(110, fCredit, 32);
    w.PutText(115, fSource, 32);
    w.PutText(116, fCopyrightNotice, 128);
    w.PutText(120, fDescription, 2000);
    w.PutText(122, fDescriptionWriter, 32);
    return w.Finish(allocator, padForTIFF);
}
