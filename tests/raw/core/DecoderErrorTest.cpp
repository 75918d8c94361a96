#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "raw/core/DecoderError.h"
#include "raw/core/TextSearch.h"

using namespace raw;

TEST(DecoderError, FailWritesABoundedMessageAndThrowsIt) {
    auto s = std::make_unique<DecoderState>();
    const std::string longText(2000, 'x');
    try {
        decoder_fail(*s, "%s: %s", "loader", longText.c_str());
        FAIL() << "decoder_fail returned";
    } catch (const DecoderText& thrown) {
        EXPECT_EQ(thrown.text, s->decoder_message);
    }
    EXPECT_EQ(std::strlen(s->decoder_message), 511u);
    EXPECT_EQ(std::string(s->decoder_message).substr(0, 10), "loader: xx");
}

TEST(DecoderError, MemoryErrorLeavesTheDetailAndThrowsTheFixedText) {
    auto s = std::make_unique<DecoderState>();
    s->input_path = "/photos/a.nef";
    int block = 0;
    EXPECT_NO_THROW(memory_error(*s, &block, "make_decoder()"));
    EXPECT_STREQ(s->decoder_message, "");
    try {
        memory_error(*s, nullptr, "make_decoder()");
        FAIL() << "memory_error returned";
    } catch (const DecoderText& thrown) {
        EXPECT_STREQ(thrown.text, "Could not allocate memory");
    }
    EXPECT_STREQ(s->decoder_message, "/photos/a.nef: Could not allocate memory in make_decoder()");
}

TEST(DecoderError, OnlyTheFirstDataErrorWritesTheMessage) {
    auto s = std::make_unique<DecoderState>();
    count_data_error(*s);
    EXPECT_STREQ(s->decoder_message, "Unsupported file type");
    std::strcpy(s->decoder_message, "later text");
    count_data_error(*s);
    EXPECT_EQ(s->data_error_count, 2);
    EXPECT_STREQ(s->decoder_message, "later text");
    s->data_error_count = INT32_MAX;
    count_data_error(*s);
    EXPECT_EQ(s->data_error_count, INT32_MAX) << "the count saturates";
}

TEST(TextSearch, FindsWithoutRegardToCase) {
    const char* make = "OLYMPUS IMAGING CORP.";
    EXPECT_EQ(find_text_caseless(make, "olympus"), make);
    EXPECT_EQ(find_text_caseless(make, "Imaging"), make + 8);
    EXPECT_EQ(find_text_caseless(make, "nikon"), nullptr);
    EXPECT_EQ(find_text_caseless("", ""), nullptr) << "empty text matches nothing";
    EXPECT_EQ(find_text_caseless("ab", "abc"), nullptr);
}
