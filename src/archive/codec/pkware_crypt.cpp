#include "archive/codec/pkware_crypt.h"

#include "archive/codec/crc32.h"

namespace kv::codec {

PkwareKeys::PkwareKeys(std::string_view password) {
    for (char ch : password) update(uint8_t(ch));
}

void PkwareKeys::update(uint8_t p) {
    key0_ = crc32Byte(key0_, p);
    key1_ = (key1_ + (key0_ & 0xff)) * 134775813u + 1;
    key2_ = crc32Byte(key2_, uint8_t(key1_ >> 24));
}

bool pkwareHeaderFits(std::span<const uint8_t, 12> header, std::string_view password, uint8_t check,
                      PkwareKeys* keys) {
    if (password.empty()) return false;
    PkwareKeys k(password);
    uint8_t last = 0;
    for (uint8_t b : header) last = k.decryptByte(b);
    if (last != check) return false;
    if (keys) *keys = k;
    return true;
}

}  // namespace kv::codec
