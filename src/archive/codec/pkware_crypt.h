// The traditional PKWARE ZIP encryption: three keys stirred by every plain byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kv::codec {

class PkwareKeys {
public:
    explicit PkwareKeys(std::string_view password);

    uint8_t decryptByte(uint8_t c) {
        uint8_t p = c ^ streamByte();
        update(p);
        return p;
    }
    uint8_t encryptByte(uint8_t p) {
        uint8_t c = p ^ streamByte();
        update(p);
        return c;
    }
    void decrypt(uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) data[i] = decryptByte(data[i]);
    }

private:
    uint8_t streamByte() const {
        uint32_t t = (key2_ | 2) & 0xffff;  // unsigned: the product overflows an int
        return uint8_t((t * (t ^ 1)) >> 8);
    }
    void update(uint8_t p);

    uint32_t key0_ = 0x12345678;
    uint32_t key1_ = 0x23456789;
    uint32_t key2_ = 0x34567890;
};

// Decrypts the 12-byte header in front of an entry's data with `password` and checks its
// last byte against `check` (the high byte of the CRC-32, or of the DOS time when the
// sizes follow the data). On success `keys` is ready for the data that follows.
// An empty password never fits.
bool pkwareHeaderFits(std::span<const uint8_t, 12> header, std::string_view password, uint8_t check,
                      PkwareKeys* keys = nullptr);

}  // namespace kv::codec
