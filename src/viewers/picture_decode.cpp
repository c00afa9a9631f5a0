#include "viewers/picture_decode.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <bit>
#include <cmath>

namespace kv::viewers {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// decodeJpeg. Warnings (a cut file, corrupt entropy data) are counted and the first kept.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf escape;
    int warnings = 0;
    std::string firstWarning;
};

std::string messageOf(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX] = {};
    (*info->err->format_message)(info, text);
    return text;
}

[[noreturn]] void onFatal(j_common_ptr info) {
    auto* em = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(em->escape, 1);
}

void onMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace output
    auto* em = reinterpret_cast<ErrorManager*>(info->err);
    if (em->warnings++ == 0) em->firstWarning = messageOf(info);
}

// The decoder keeps whole-image buffers (progressive files) within this; past it libjpeg
// stops with an error instead of taking the machine's memory.
constexpr long kJpegWorkingMemory = 512L * 1024 * 1024;

// The fewest bits an 8 x 8 block can take in a baseline or progressive scan is a few; a
// file declaring far more pixels than its bytes could ever code is a bomb or damaged.
constexpr std::uint64_t kMaxPixelsPerByte = 4096;

// Adobe's CMYK JPEGs store inverted ink values; the product of ink and key is what shows.
std::uint32_t cmykToRgb(const JSAMPLE* p, bool inverted) {
    unsigned c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    const unsigned r = c * k / 255, g = m * k / 255, b = y * k / 255;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

}  // namespace

int jpegScaleDenominator(int w, int h, int fitW, int fitH) {
    if (w <= 0 || h <= 0 || fitW <= 0 || fitH <= 0) return 1;
    const PictureRect shown = layoutPicture(w, h, fitW, fitH);
    for (int d : {8, 4, 2}) {
        const int sw = (w + d - 1) / d, sh = (h + d - 1) / d;
        if (sw >= shown.width && sh >= shown.height) return d;
    }
    return 1;
}

namespace {

// Everything the decoder changes lives here, outside the frame that calls setjmp, so the
// jump back from a fatal error finds it as it was left.
struct JpegJob {
    jpeg_decompress_struct info{};
    ErrorManager em{};
    DecodedPicture out;
    std::vector<JSAMPLE> cmykRow;
    unsigned rowsDone = 0;
};

void runJpeg(JpegJob& job, std::span<const std::uint8_t> bytes, int fitW, int fitH) {
    jpeg_decompress_struct& info = job.info;
    DecodedPicture& out = job.out;
    if (setjmp(job.em.escape)) {
        out.message = messageOf(reinterpret_cast<j_common_ptr>(&info));
        // Rows already decoded stay visible as a damaged picture; before any, it is invalid.
        if (job.rowsDone > 0) {
            out.status = DecodeStatus::Damaged;
            return;
        }
        out.status = DecodeStatus::Invalid;
        out.pixels.clear();
        out.width = out.height = 0;
        return;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kJpegWorkingMemory;
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    out.naturalWidth = static_cast<int>(info.image_width);
    out.naturalHeight = static_cast<int>(info.image_height);
    const std::uint64_t declared = std::uint64_t{info.image_width} * info.image_height;
    if (declared > kMaxPicturePixels || declared > std::uint64_t{bytes.size()} * kMaxPixelsPerByte) {
        out.status = DecodeStatus::TooLarge;
        out.message = declared > kMaxPicturePixels ? "The picture is too large to show"
                                                   : "The picture declares more pixels than its file holds";
        return;
    }

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space =
        cmyk ? JCS_CMYK : (std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB);
    info.scale_num = 1;
    info.scale_denom =
        static_cast<unsigned>(jpegScaleDenominator(out.naturalWidth, out.naturalHeight, fitW, fitH));
    info.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&info);

    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.pixels.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height),
                      0xFF808080u);
    if (cmyk) job.cmykRow.resize(static_cast<std::size_t>(out.width) * 4);
    const bool adobeInverted = info.saw_Adobe_marker != 0;
    while (info.output_scanline < info.output_height) {
        std::uint32_t* dest = out.pixels.data() + std::size_t{info.output_scanline} * out.width;
        if (cmyk) {
            JSAMPROW row = job.cmykRow.data();
            if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
            for (int x = 0; x < out.width; ++x)
                dest[x] = cmykToRgb(&job.cmykRow[std::size_t(x) * 4], adobeInverted);
        } else {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(dest);
            if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
        }
        job.rowsDone = info.output_scanline;
    }
    jpeg_finish_decompress(&info);
    if (job.em.warnings > 0) {
        out.status = DecodeStatus::Damaged;
        out.message = job.em.firstWarning;
    } else {
        out.status = DecodeStatus::Ok;
    }
}

}  // namespace

DecodedPicture decodeJpeg(std::span<const std::uint8_t> bytes, int fitW, int fitH) {
    JpegJob job;
    if (bytes.empty()) {
        job.out.message = "Empty file";
        return std::move(job.out);
    }
    job.info.err = jpeg_std_error(&job.em.pub);
    job.em.pub.error_exit = onFatal;
    job.em.pub.emit_message = onMessage;
    runJpeg(job, bytes, fitW, fitH);
    jpeg_destroy_decompress(&job.info);
    return std::move(job.out);
}

PictureRect layoutPicture(int w, int h, int screenW, int screenH) {
    PictureRect r;
    if (w <= 0 || h <= 0 || screenW <= 0 || screenH <= 0) return r;
    const double ratio = static_cast<double>(w) / h;
    r.width = w, r.height = h;
    // nearbyint rounds half to even in the default rounding mode.
    if (r.width > screenW) r.width = screenW, r.height = static_cast<int>(std::nearbyint(screenW / ratio));
    if (r.height > screenH) r.height = screenH, r.width = static_cast<int>(std::nearbyint(ratio * screenH));
    r.left = (screenW - r.width) / 2;
    r.top = (screenH - r.height) / 2;
    return r;
}

}  // namespace kv::viewers
