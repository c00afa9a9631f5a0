#pragma once
// Picture decoding without Qt: JPEG through libjpeg-turbo, decoded at the smallest of its
// DCT scales (1/1, 1/2, 1/4, 1/8) that still covers the size the picture is shown at, so a
// 12-megapixel photo costs a screenful of pixels, not 48 MB. Also the viewer's layout rule.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv::viewers {

enum class DecodeStatus {
    Ok,
    Damaged,   // decoded, but the data was cut short or corrupt: the pixels are partly grey
    Invalid,   // not a picture of its kind; no pixels
    TooLarge,  // the picture's declared size is beyond what the viewer decodes
};

struct DecodedPicture {
    DecodeStatus status = DecodeStatus::Invalid;
    int naturalWidth = 0, naturalHeight = 0;  // as the file declares
    int width = 0, height = 0;                // of `pixels` (the scaled decode)
    std::vector<std::uint32_t> pixels;        // 0xAARRGGBB, alpha always 0xFF, row by row
    std::string message;                      // the decoder's words for Damaged/Invalid/TooLarge
};

// Pictures with more pixels than this are refused before decoding (a 20000 x 20000 photo
// still opens); a JPEG may also not declare more pixels than its bytes could describe.
inline constexpr std::uint64_t kMaxPicturePixels = 400'000'000;

// The JPEG scale denominator (1, 2, 4 or 8) for a picture of w x h shown at no more than
// fitW x fitH: the largest reduction whose result is still at least the shown size.
int jpegScaleDenominator(int w, int h, int fitW, int fitH);

// Decodes a JPEG held in memory; fitW/fitH is the room it is shown in (0 = natural size).
DecodedPicture decodeJpeg(std::span<const std::uint8_t> bytes, int fitW, int fitH);

// Where a picture of natural size w x h goes on a screen of W x H: shown at its natural size
// when it fits, else scaled down to fit keeping its proportions (never enlarged), centred.
struct PictureRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PictureRect&) const = default;
};
PictureRect layoutPicture(int w, int h, int screenW, int screenH);

}  // namespace kv::viewers
