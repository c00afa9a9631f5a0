// Traditional PKWARE decryption on an archive made by a PKWARE product.
#include "archive/codec/crc32.h"
#include "archive/codec/inflate.h"
#include "archive/codec/pkware_crypt.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

namespace kv::codec {
namespace {

TEST(PkwareCrypt, DecryptsAnEntryOnlyWithItsPassword) {
    auto entries = test::rawZipEntries(test::readFile(test::fixture("sharpcompress/Zip.deflate.pkware.zip")));
    const test::RawZipEntry* file = nullptr;
    for (const auto& e : entries)
        if (e.name == "Folder/File.txt") file = &e;
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->flags & 1);
    uint8_t check = (file->flags & 8) ? uint8_t(file->dosTime >> 8) : uint8_t(file->crc >> 24);
    std::span<const uint8_t, 12> header(file->data.data(), 12);

    EXPECT_FALSE(pkwareHeaderFits(header, "", check));
    EXPECT_FALSE(pkwareHeaderFits(header, "wrong", check));
    PkwareKeys keys("");
    ASSERT_TRUE(pkwareHeaderFits(header, "12345678", check, &keys));

    std::vector<uint8_t> data(file->data.begin() + 12, file->data.end());
    keys.decrypt(data.data(), data.size());
    std::vector<uint8_t> out(file->size);
    ASSERT_TRUE(inflate(data, out).ok());
    EXPECT_EQ(crc32Update(0, out.data(), out.size()), file->crc);
    EXPECT_EQ(test::sha256Hex(out), "75f5e007ab682af4556d992735448d818423d393142fd4a771bc5a65261aaa03");
}

TEST(PkwareCrypt, EncryptThenDecryptRoundTrips) {
    auto plain = test::randomData(1000, 11);
    PkwareKeys enc("pässwörd"), dec("pässwörd"), other("password");
    std::vector<uint8_t> c(plain.size()), wrong(plain.size());
    for (size_t i = 0; i < plain.size(); ++i) c[i] = enc.encryptByte(plain[i]);
    EXPECT_NE(c, plain);
    wrong = c;
    other.decrypt(wrong.data(), wrong.size());
    EXPECT_NE(wrong, plain);
    dec.decrypt(c.data(), c.size());
    EXPECT_EQ(c, plain);
}

TEST(Crc32, MatchesKnownValues) {
    const std::string s = "123456789";
    EXPECT_EQ(crc32Update(0, reinterpret_cast<const uint8_t*>(s.data()), s.size()), 0xCBF43926u);
    auto data = test::randomData(100003, 3);
    // Split updates continue the same register as one update.
    uint32_t whole = crc32Update(0, data.data(), data.size());
    uint32_t split =
        crc32Update(crc32Update(0, data.data(), 12345), data.data() + 12345, data.size() - 12345);
    EXPECT_EQ(whole, split);
}

}  // namespace
}  // namespace kv::codec
