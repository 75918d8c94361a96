#include "dng/dng_fingerprint.h"

#include "DngErrorMatchers.h"

#include <string>

namespace {
std::string Hex(const dng_fingerprint& f) {
    char text[33];
    f.ToHexString(text);
    return text;
}

std::string Digest(const std::string& message, uint32_t piece) {
    dng_md5_printer printer;
    for (std::size_t i = 0; i < message.size(); i += piece)
        printer.Process(message.data() + i, uint32_t(std::min<std::size_t>(piece, message.size() - i)));
    return Hex(printer.Result());
}

struct Vector {
    std::string message;
    const char* digest;
};

const Vector kVectors[] = {
    {"", "D41D8CD98F00B204E9800998ECF8427E"},
    {"a", "0CC175B9C0F1B6A831C399E269772661"},
    {"abc", "900150983CD24FB0D6963F7D28E17F72"},
    {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57EDF4A22BE3C955AC49DA2E2107B67A"},
    // Lengths around the padding boundaries.
    {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
    {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
    {std::string(57, 'a'), "652B906D60AF96844EBD21B674F35E93"},
    {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
    {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
    {std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
    {std::string(119, 'a'), "8A7BD0732ED6A28CE75F6DABC90E1613"},
    {std::string(120, 'a'), "5F61C0CCAD4CAC44C75FF505E1F1E537"},
    {std::string(128, 'a'), "E510683B3F5FFE4093D021808BC6FF70"},
};
} // namespace

TEST(DngMd5Printer, ReferenceVectorsInEveryPieceSize) {
    for (const Vector& v : kVectors)
        for (uint32_t piece : {1u, 3u, 54u, 55u, 56u, 57u, 63u, 64u, 65u, 1000u})
            EXPECT_EQ(Digest(v.message, piece), v.digest)
                << v.message.size() << " bytes in pieces of " << piece;
}

TEST(DngMd5Printer, ResultIsStable) {
    dng_md5_printer printer;
    printer.Process("abc", 3);
    const dng_fingerprint first = printer.Result();
    EXPECT_EQ(printer.Result(), first);
}

TEST(DngFingerprint, HexRoundTrip) {
    dng_fingerprint f;
    EXPECT_TRUE(f.IsNull());
    EXPECT_EQ(f, dng_fingerprint());

    ASSERT_TRUE(f.FromHexString("900150983cd24fb0d6963f7d28e17f72"));
    dng_fingerprint upper;
    ASSERT_TRUE(upper.FromHexString("900150983CD24FB0D6963F7D28E17F72"));
    EXPECT_EQ(f, upper);
    EXPECT_EQ(Hex(f), "900150983CD24FB0D6963F7D28E17F72");

    dng_fingerprint bad;
    EXPECT_FALSE(bad.FromHexString("12G4567890ABCDEF1234567890ABCDEF"));
    EXPECT_EQ(bad.data[0], 0x12) << "bytes before the bad digit stay set";
}

TEST(DngMd5PrinterStream, DigestsWhatIsWritten) {
    dng_md5_printer_stream stream;
    stream.Put_uint32(0x64636261); // "abcd" in little-endian order
    stream.Put("efg", 3);
    EXPECT_EQ(stream.Length(), 7u);
    EXPECT_EQ(Hex(stream.Result()), Digest("abcdefg", 7));

    dng_md5_printer_stream out_of_order;
    out_of_order.Put("0123456789", 10);
    out_of_order.Flush();
    out_of_order.SetWritePosition(2);
    out_of_order.Put("x", 1);
    EXPECT_DNG_ERROR(out_of_order.Flush(), dng_error_unknown);
}
