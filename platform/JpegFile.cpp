// JPEG through libjpeg (libjpeg-turbo's API 62), decoding straight into the working bitmap's rows.

#include "Errors.h"
#include "PictureCodecs.h"
#include "SafeFile.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace pixmora::codecs {

namespace {

// libjpeg reports errors through error_exit and expects it never to return. Ours jumps back to the
// step that was running; the step then comes out as a C++ exception with libjpeg's own message.
struct JpegErrors {
    jpeg_error_mgr manager; // first member: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int code;
    // Whether the file may end without its end marker once all its data is there (see onMessage).
    bool endMayBeMissing;
    bool sawEnd;
    char endMessage[JMSG_LENGTH_MAX];
};
static_assert(std::is_standard_layout_v<JpegErrors>);

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    errors->code = cinfo->err->msg_code;
    std::longjmp(errors->jump, 1);
}

// A file whose data stops before the last row is damaged, whether it stops at the end of the file or
// at a marker: libjpeg would only warn and decode the rest as grey. The decoder says "hit marker" when
// data it needed was not there, so that is where decoding stops. The end of the file alone proves
// nothing in a single-scan Huffman picture (the decoder reads ahead; a file may lack only its end
// marker), so it waits there for that sign; in other pictures a later scan may be missing, so the end of
// the file stops them at once. Every other warning (stray bytes, unknown markers) leaves a usable picture.
void onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF && errors->endMayBeMissing && !errors->sawEnd) {
        errors->sawEnd = true;
        (*cinfo->err->format_message)(cinfo, errors->endMessage);
        return;
    }
    if (code == JWRN_JPEG_EOF)
        jumpBack(cinfo);
    if (code == JWRN_HIT_MARKER) {
        (*cinfo->err->format_message)(cinfo, errors->message);
        // The end of the file is what the decoder ran into: say so.
        if (errors->sawEnd)
            std::memcpy(errors->message, errors->endMessage, sizeof errors->message);
        errors->code = code;
        std::longjmp(errors->jump, 1);
    }
}

void quiet(j_common_ptr) {}

void initErrors(JpegErrors& errors) {
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.emit_message = onMessage;
    errors.manager.output_message = quiet;
    errors.message[0] = '\0';
    errors.code = 0;
    errors.endMayBeMissing = false;
    errors.sawEnd = false;
}

// A libjpeg object with our error handling; destroying it is safe also when creating it failed half-way
// (libjpeg frees only what its memory manager holds).
template <typename Struct, void (*destroy)(Struct*)> struct JpegObject {
    Struct cinfo{};
    JpegErrors errors;
    JpegObject() {
        initErrors(errors);
        cinfo.err = &errors.manager;
    }
    ~JpegObject() { destroy(&cinfo); }
    JpegObject(const JpegObject&) = delete;
    JpegObject& operator=(const JpegObject&) = delete;
    template <typename Step> bool run(Step&& step) { return guarded(errors.jump, step); }
};
void destroyDecompress(jpeg_decompress_struct* cinfo) {
    jpeg_destroy_decompress(cinfo);
}
void destroyCompress(jpeg_compress_struct* cinfo) {
    jpeg_destroy_compress(cinfo);
}
using Decompressor = JpegObject<jpeg_decompress_struct, destroyDecompress>;
using Compressor = JpegObject<jpeg_compress_struct, destroyCompress>;

// Four channels as the decoder gives them, to blue, green, red. Adobe's programs store CMYK inverted
// (0 = full ink), and they are the ones that mark their files; the division truncates, as Qt's reader does.
void cmykRowToBgr(const JSAMPLE* in, std::uint8_t* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (inverted) {
            out[0] = static_cast<std::uint8_t>(y * k / 255);
            out[1] = static_cast<std::uint8_t>(m * k / 255);
            out[2] = static_cast<std::uint8_t>(c * k / 255);
        } else {
            out[0] = static_cast<std::uint8_t>((255 - y) * (255 - k) / 255);
            out[1] = static_cast<std::uint8_t>((255 - m) * (255 - k) / 255);
            out[2] = static_cast<std::uint8_t>((255 - c) * (255 - k) / 255);
        }
    }
}

int orientationOf(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1)
            if (const int orientation = exifOrientation(marker->data, marker->data_length))
                return orientation;
    return 1;
}

QString damaged(const QString& path, const JpegErrors& errors) {
    return QStringLiteral("Damaged JPEG picture %1: %2")
        .arg(quoted(path), QString::fromLocal8Bit(errors.message));
}

} // namespace

void RowsInFlight::deliver(int count) {
    {
        std::lock_guard lock(m_mutex);
        m_rows = count;
    }
    m_changed.notify_all();
}

void RowsInFlight::fail() {
    {
        std::lock_guard lock(m_mutex);
        m_failed = true;
    }
    m_changed.notify_all();
}

int RowsInFlight::waitFor(int row) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_failed || m_rows > row; });
    return m_failed ? -1 : m_rows;
}

struct JpegReader::Decoder {
    Decompressor d;
    const Source& source;
    bool cmyk = false;
    int orientation = 1;
    explicit Decoder(const Source& s) : source(s) {}
};

JpegReader::JpegReader(const Source& source) : m_decoder(std::make_unique<Decoder>(source)) {
    Decompressor& d = m_decoder->d;
    jpeg_decompress_struct& cinfo = d.cinfo;
    bool& cmyk = m_decoder->cmyk;
    int& orientation = m_decoder->orientation;
    const bool headerRead = d.run([&] {
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, source.file);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&cinfo, TRUE);
        cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
        cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
        d.errors.endMayBeMissing = !cinfo.arith_code && !jpeg_has_multiple_scans(&cinfo);
        // The saved markers live only until the decoder finishes.
        orientation = orientationOf(cinfo);
    });
    if (!headerRead) {
        // libjpeg itself stops short of our limit, at 65500 pixels: that is a picture too large, not a
        // damaged one.
        if (d.errors.code == JERR_IMAGE_TOO_BIG) {
            checkPictureSize(cinfo.image_width, cinfo.image_height, source.path, source.limits);
            throw Error(QStringLiteral("The picture %1 is too large: %2 x %3 pixels (%4)")
                            .arg(quoted(source.path), QString::number(cinfo.image_width),
                                 QString::number(cinfo.image_height),
                                 QString::fromLocal8Bit(d.errors.message)));
        }
        throw Error(damaged(source.path, d.errors));
    }
    checkPictureSize(cinfo.image_width, cinfo.image_height, source.path, source.limits);
}

JpegReader::~JpegReader() = default;

int JpegReader::width() const {
    return static_cast<int>(m_decoder->d.cinfo.image_width);
}

int JpegReader::height() const {
    return static_cast<int>(m_decoder->d.cinfo.image_height);
}

int JpegReader::orientation() const {
    return m_decoder->orientation;
}

void JpegReader::decode(Bitmap& bitmap, const std::function<void(int)>& delivered) {
    Decompressor& d = m_decoder->d;
    jpeg_decompress_struct& cinfo = d.cinfo;
    const Source& source = m_decoder->source;
    const bool cmyk = m_decoder->cmyk;
    // Progressive pictures keep all their coefficients while decoding: that too must fit.
    const long long allowance = decoderAllowance(cinfo.image_width, cinfo.image_height, source.limits);
    cinfo.mem->max_memory_to_use = static_cast<long>(std::min<long long>(allowance, LONG_MAX));

    std::vector<JSAMPLE> cmykRow(cmyk ? static_cast<std::size_t>(cinfo.image_width) * 4 : 0);
    const bool decoded = d.run([&] {
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            if (cmyk) {
                std::uint8_t* target = bitmap.row(static_cast<int>(cinfo.output_scanline));
                JSAMPROW row = cmykRow.data();
                jpeg_read_scanlines(&cinfo, &row, 1);
                cmykRowToBgr(cmykRow.data(), target, cinfo.output_width, cinfo.saw_Adobe_marker);
            } else {
                // Several rows at a time, as many as the decoder's upsampling makes at once: it then writes
                // them straight into the bitmap instead of through a row of its own.
                JSAMPROW rows[16];
                const auto first = static_cast<int>(cinfo.output_scanline);
                const int count = std::min<int>(16, static_cast<int>(cinfo.output_height) - first);
                for (int i = 0; i < count; ++i)
                    rows[i] = bitmap.row(first + i);
                jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
            }
            // Rows never change once read. Should the data stop further down, the whole picture is refused,
            // and whoever took rows early must drop what it made of them.
            if (delivered)
                delivered(static_cast<int>(cinfo.output_scanline));
        }
        jpeg_finish_decompress(&cinfo);
    });
    if (!decoded && d.errors.code == JERR_NO_BACKING_STORE)
        throw Error(QStringLiteral("The picture %1 is too large for this machine's memory: %2 x %3 pixels "
                                   "(decoding it takes more than %4 MB besides the picture)")
                        .arg(quoted(source.path), QString::number(cinfo.image_width),
                             QString::number(cinfo.image_height), QString::number(allowance / 1'000'000)));
    if (!decoded)
        throw Error(damaged(source.path, d.errors));
}

Bitmap readJpeg(const Source& source) {
    JpegReader reader(source);
    Bitmap bitmap = allocateBitmap(reader.width(), reader.height(), source.path);
    reader.decode(bitmap);
    if (reader.orientation() == 1)
        return bitmap;
    return orientedBitmap(bitmap, reader.orientation(), source.path);
}

void writeJpeg(const Bitmap& bitmap, SafeFile& file, int quality, const QString& path, RowsInFlight* rows) {
    Compressor c;
    jpeg_compress_struct& cinfo = c.cinfo;
    bool written = c.run([&] {
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, file.stream());
        cinfo.image_width = static_cast<JDIMENSION>(bitmap.width());
        cinfo.image_height = static_cast<JDIMENSION>(bitmap.height());
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, quality, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
    });
    while (written && cinfo.next_scanline < cinfo.image_height) {
        // The rows that are there, or all of them.
        const int ready = rows ? rows->waitFor(static_cast<int>(cinfo.next_scanline)) : bitmap.height();
        if (ready < 0)
            throw Error(QStringLiteral("Cannot write the JPEG picture %1: the picture was not read whole")
                            .arg(quoted(path)));
        written = c.run([&] {
            while (cinfo.next_scanline < static_cast<JDIMENSION>(ready)) {
                // libjpeg only reads the rows it is given, whatever its prototype says.
                JSAMPROW row = const_cast<JSAMPLE*>(bitmap.row(static_cast<int>(cinfo.next_scanline)));
                jpeg_write_scanlines(&cinfo, &row, 1);
            }
        });
    }
    if (written)
        written = c.run([&] { jpeg_finish_compress(&cinfo); });
    if (!written)
        throw Error(QStringLiteral("Cannot write the JPEG picture %1: %2")
                        .arg(quoted(path), QString::fromLocal8Bit(c.errors.message)));
}

// --- EXIF orientation ---------------------------------------------------------------------------------

int exifOrientation(const unsigned char* data, std::size_t size) {
    static const unsigned char signature[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof signature || std::memcmp(data, signature, sizeof signature) != 0)
        return 0;
    const unsigned char* tiff = data + sizeof signature;
    const std::size_t length = size - sizeof signature;
    if (length < 8)
        return 0;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 0;
    // Every read is checked against the segment's length before it happens.
    auto u16 = [&](std::size_t at) -> unsigned {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](std::size_t at) -> unsigned long {
        return little ? static_cast<unsigned long>(u16(at)) | static_cast<unsigned long>(u16(at + 2)) << 16
                      : static_cast<unsigned long>(u16(at)) << 16 | u16(at + 2);
    };
    if (u16(2) != 42)
        return 0;
    const unsigned long ifd = u32(4);
    if (ifd > length || length - ifd < 2)
        return 0;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * static_cast<std::size_t>(i);
        if (entry > length || length - entry < 12)
            return 0;
        if (u16(entry) != 0x0112)
            continue;
        const unsigned type = u16(entry + 2);
        unsigned long value;
        if (type == 3) // SHORT
            value = u16(entry + 8);
        else if (type == 4) // LONG
            value = u32(entry + 8);
        else
            return 0;
        if (u32(entry + 4) < 1)
            return 0;
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
    }
    return 0;
}

Bitmap orientedBitmap(const Bitmap& bitmap, int orientation, const QString& path) {
    const int w = bitmap.width(), h = bitmap.height();
    const bool swapsSides = orientation >= 5;
    const int outW = swapsSides ? h : w, outH = swapsSides ? w : h;
    Bitmap out = allocateBitmap(outW, outH, path);
    // For each output pixel, the source pixel it shows: source = origin + x * stepX + y * stepY, in pixels.
    int originX = 0, originY = 0, xdx = 1, xdy = 0, ydx = 0, ydy = 1;
    switch (orientation) {
    case 2: // mirrored left to right
        originX = w - 1, xdx = -1;
        break;
    case 3: // turned half round
        originX = w - 1, originY = h - 1, xdx = -1, ydy = -1;
        break;
    case 4: // mirrored top to bottom
        originY = h - 1, ydy = -1;
        break;
    case 5: // mirrored along the main diagonal
        xdx = 0, xdy = 1, ydx = 1, ydy = 0;
        break;
    case 6: // to be turned a quarter clockwise
        originY = h - 1, xdx = 0, xdy = -1, ydx = 1, ydy = 0;
        break;
    case 7: // mirrored along the other diagonal
        originX = w - 1, originY = h - 1, xdx = 0, xdy = -1, ydx = -1, ydy = 0;
        break;
    case 8: // to be turned a quarter anticlockwise
        originX = w - 1, xdx = 0, xdy = 1, ydx = -1, ydy = 0;
        break;
    default:
        return bitmap;
    }
    for (int y = 0; y < outH; ++y) {
        std::uint8_t* target = out.row(y);
        int sx = originX + y * ydx, sy = originY + y * ydy;
        for (int x = 0; x < outW; ++x, sx += xdx, sy += xdy, target += 3)
            std::memcpy(target, bitmap.pixel(sx, sy), 3);
    }
    return out;
}

} // namespace pixmora::codecs
