#pragma once
// The caption data of a photograph in the shape of IPTC-IIM record 2 (titles, keywords,
// credits, places, dates), with its reader and writer.
#include "dng/dng_date_time.h"
#include "dng/dng_string.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_memory_allocator;
class dng_memory_block;

class dng_iptc : private dng_uncopyable {
  public:
    dng_string fTitle;
    // 0 to 9, or -1 when absent.
    int32_t fUrgency = -1;
    dng_string fCategory;
    dng_string_list fSupplementalCategories;
    dng_string_list fKeywords;
    dng_string fInstructions;
    dng_date_time_info fDateTimeCreated;
    dng_date_time_info fDigitalCreationDateTime;
    dng_string_list fAuthors;
    dng_string fAuthorsPosition;
    dng_string fCity;
    dng_string fState;
    dng_string fCountry;
    dng_string fCountryCode;
    dng_string fLocation;
    dng_string fTransmissionReference;
    dng_string fHeadline;
    dng_string fCredit;
    dng_string fSource;
    dng_string fCopyrightNotice;
    dng_string fDescription;
    dng_string fDescriptionWriter;

    dng_iptc() = default;
    virtual ~dng_iptc() = default;

    bool IsEmpty() const;
    bool NotEmpty() const { return !IsEmpty(); }

    // Reads what the block holds; a truncated or foreign block simply ends the walk.
    void Parse(const void* blockData, uint32_t blockSize, int64_t offsetInOriginalFile = -1);
    // The IIM bytes, texts in UTF-8; with padding the length is a multiple of 4.
    std::unique_ptr<dng_memory_block> Spool(dng_memory_allocator& allocator, bool padForTIFF) const;
};
