// Pictures made to hurt: bombs that declare a huge size in a tiny file, and pictures cut short or ended
// early. Each is refused with its message, fast and without paying for the pixels it claims; what is
// merely unusual still loads.

#include "ChildProcess.h"
#include "FileTestSupport.h"

#include "Errors.h"
#include "PictureFile.h"

#include <gmock/gmock.h>

#include <zlib.h>

using namespace filetest;
using pixmora::Error;
using pixmora::loadPicture;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

// The message of the Error a load throws, or "loaded" when it succeeds.
std::string outcomeOf(const QString& path, long long maxPixels = 0) {
    try {
        loadPicture(path, {maxPixels});
    } catch (const Error& e) {
        return e.what();
    }
    return "loaded";
}

QByteArray withUint16At(QByteArray bytes, qsizetype at, unsigned value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
    return bytes;
}

// A JPEG's frame header claiming another size; the data stays that of the small picture.
QByteArray jpegClaiming(const QByteArray& jpeg, unsigned width, unsigned height) {
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    return withUint16At(withUint16At(jpeg, sof + 5, height), sof + 7, width);
}

// An RLE8 file of the given size holding nothing but an end-of-picture code, 1 080 bytes.
QByteArray rleBomb(int width, int height) {
    return makeBmp({.width = width,
                    .height = height,
                    .bitCount = 8,
                    .compression = 1,
                    .palette = std::vector<std::uint32_t>(256, 0x808080),
                    .pixels = {0, 1}});
}

} // namespace

TEST(MemoryBombs, TinyRleFileClaimingAHugePictureIsRefusedFromItsHeader) {
    if (underAddressSanitizer())
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("bomb.bmp"));
    writeBytes(path, rleBomb(65535, 20000));
    ASSERT_EQ(readBytes(path).size(), 1080);
    // However much memory this machine has, a process limited to 1 GB more cannot edit 15.7 GB.
    const ChildOutcome child = inChild([&] { return outcomeOf(path); }, [] { limitAddressSpace(1LL << 30); });
    ASSERT_TRUE(child.exited);
    EXPECT_THAT(child.text, StartsWith("The picture \"" + path.toStdString() +
                                       "\" is too large for this machine's memory: 65535 x 20000 pixels "
                                       "(editing it takes 15.7 GB; "));
    EXPECT_LT(child.peakKb, 32 * 1024);
}

TEST(MemoryBombs, ALimitOfPixelsHoldsForEveryFormat) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("bomb"));
    auto refused = [&](const QByteArray& bytes) {
        writeBytes(path, bytes);
        return outcomeOf(path, 100'000'000);
    };
    const std::string limit = " (more than the limit of 100 megapixels)";
    EXPECT_THAT(refused(rleBomb(65535, 20000)), HasSubstr("is too large: 65535 x 20000 pixels" + limit));
    EXPECT_THAT(refused(jpegClaiming(readBytes(sample("logo.jpg")), 20000, 20000)),
                HasSubstr("is too large: 20000 x 20000 pixels" + limit));
    QByteArray png = readBytes(sample("logo.png")); // the size in its header, the checksum made to match
    png.replace(16, 8, QByteArray("\x00\x00\x4E\x20\x00\x00\x4E\x20", 8));
    const uLong crc = ::crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    EXPECT_THAT(refused(png), HasSubstr("is too large: 20000 x 20000 pixels" + limit));
    QByteArray gif = readBytes(sample("rose.gif"));
    gif.replace(6, 4, QByteArray("\x20\x4E\x20\x4E", 4));
    EXPECT_THAT(refused(gif), HasSubstr("is too large: 20000 x 20000 pixels" + limit));
    gif = samples::gif(samples::fewColours(8, 8));
    gif.replace(gif.indexOf('\x2C') + 5, 4,
                QByteArray("\x20\x4E\x20\x4E", 4)); // a frame larger than its screen
    EXPECT_THAT(refused(gif), HasSubstr("is too large: 20000 x 20000 pixels" + limit));
}

// 41 bytes whose second chunk claims more than a gigabyte: libpng would clear that much memory before
// finding the data missing.
TEST(MemoryBombs, PngChunkClaimingMoreThanTheFileHolds) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("bomb.png"));
    const QByteArray header = readBytes(sample("logo.png")).left(33); // signature and IHDR
    writeBytes(path, header + "IENDItEXt");
    const ChildOutcome child = inChild([&] { return outcomeOf(path); });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.text, "Damaged PNG picture \"" + path.toStdString() +
                              "\": its ItEX chunk of 1229278788 bytes reaches beyond the end of the file");
    EXPECT_LT(child.peakKb, 32 * 1024);
    // A picture cut short says which chunk it ended in.
    const QByteArray png = readBytes(sample("logo.png"));
    writeBytes(path, png.left(png.size() - 100));
    EXPECT_THAT(
        outcomeOf(path),
        testing::MatchesRegex(".*: its IDAT chunk of [0-9]+ bytes reaches beyond the end of the file"));
}

// The data of a 320 x 240 picture under a header of 20 000 x 20 000: its end marker comes long before
// the last row, and only the rows decoded until then were paid for, not 1.2 GB.
TEST(MemoryBombs, JpegClaimingAHugePictureEndsEarlyAndCostsLittle) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("bomb.jpg"));
    writeBytes(path, jpegClaiming(readBytes(sample("logo.jpg")), 20000, 20000));
    // The limit lifts the memory check, so that the decoder starts on any machine.
    const ChildOutcome child = inChild([&] { return outcomeOf(path, 400'000'000); });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.text, "Damaged JPEG picture \"" + path.toStdString() +
                              "\": Corrupt JPEG data: premature end of data segment");
    EXPECT_LT(child.peakKb, 64 * 1024 + addressSanitizerShadowKb(20000LL * 60000));
}

namespace {

struct JpegCase {
    const char* name;
    samples::JpegKind kind;
    bool singleScan; // whether a file missing only its end marker is still whole
};

class CutJpeg : public testing::TestWithParam<JpegCase> {};

} // namespace

// Cut anywhere before its end marker, a JPEG is damaged; without the end marker alone, a single-scan
// picture has all its data and loads, while a later scan might be what is missing from the others.
TEST_P(CutJpeg, RefusedAtEveryOffsetBeforeTheEnd) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("cut.jpg"));
    const QByteArray whole = samples::jpeg(samples::photo(40, 24), GetParam().kind);
    writeBytes(path, whole);
    const Bitmap expected = loadPicture(path);
    ASSERT_TRUE(whole.endsWith("\xFF\xD9"));
    for (qsizetype size = 3; size < whole.size(); ++size) {
        SCOPED_TRACE(testing::Message() << size << " of " << whole.size() << " bytes");
        writeBytes(path, whole.left(size));
        if (size >= whole.size() - 2 && GetParam().singleScan) {
            EXPECT_TRUE(loadPicture(path) == expected);
            continue;
        }
        const std::string outcome = outcomeOf(path);
        ASSERT_THAT(outcome, StartsWith("Damaged JPEG picture \"" + path.toStdString() + "\": "));
        if (size > whole.size() / 2) {
            EXPECT_THAT(outcome, HasSubstr("Premature end of JPEG file"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CutJpeg,
                         testing::Values(JpegCase{"Baseline", samples::JpegKind::Baseline, true},
                                         JpegCase{"Restarts", samples::JpegKind::Restarts, true},
                                         JpegCase{"Grey", samples::JpegKind::Grey, true},
                                         JpegCase{"Progressive", samples::JpegKind::Progressive, false},
                                         JpegCase{"Arithmetic", samples::JpegKind::Arithmetic, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedJpeg, ScanDataEndingAtAMarkerIsDamaged) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("short.jpg"));
    const QByteArray whole = readBytes(sample("logo.jpg"));
    const qsizetype sos = whole.indexOf("\xFF\xDA");
    const qsizetype data =
        sos + 2 +
        (static_cast<unsigned char>(whole[sos + 2]) << 8 | static_cast<unsigned char>(whole[sos + 3]));
    const QByteArray markers[] = {QByteArray("\xFF\xD9", 2), QByteArray("\xFF\xE5\x00\x02", 4),
                                  QByteArray("\xFF\xFE\x00\x04hi", 6)};
    for (const QByteArray& marker : markers) {
        writeBytes(path, whole.left(data + (whole.size() - data) / 3) + marker + QByteArray("\xFF\xD9", 2));
        EXPECT_EQ(outcomeOf(path), "Damaged JPEG picture \"" + path.toStdString() +
                                       "\": Corrupt JPEG data: premature end of data segment");
    }
}

TEST(DamagedJpeg, MerelyUnusualFilesStillLoad) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("odd.jpg"));
    const QByteArray whole = readBytes(sample("logo.jpg"));
    const Bitmap expected = loadPicture(sample("logo.jpg"));
    const QByteArray unknownMarkers = QByteArray("\xFF\xE9\x00\x06"
                                                 "abcd\xFF\xFE\x00\x05"
                                                 "abc",
                                                 15);
    for (const QByteArray& odd : {whole + "trailing bytes after the end", // extra bytes after the end
                                  whole.left(2) + unknownMarkers + whole.mid(2)}) { // unknown markers
        writeBytes(path, odd);
        EXPECT_TRUE(loadPicture(path) == expected);
    }
}

// Cut anywhere, a GIF either loads whole (only its end was missing) or is refused: never a picture
// with a blank part.
TEST(DamagedGif, CutAtEveryOffsetIsWholeOrRefused) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("cut.gif"));
    const samples::IndexedPicture picture = samples::fewColours(23, 11);
    for (const bool interlaced : {false, true}) {
        const QByteArray whole = samples::gif(picture, {.interlaced = interlaced});
        int loaded = 0;
        for (qsizetype size = 6; size < whole.size(); ++size) {
            SCOPED_TRACE(testing::Message() << size << " of " << whole.size() << " bytes");
            writeBytes(path, whole.left(size));
            const std::string outcome = outcomeOf(path);
            if (outcome == "loaded") {
                EXPECT_TRUE(loadPicture(path) == picture.bitmap());
                ++loaded;
            } else {
                EXPECT_THAT(outcome, StartsWith("Damaged GIF picture \"" + path.toStdString() + "\": "));
            }
        }
        // Only the end code, the block terminator and the trailer may go.
        EXPECT_LE(loaded, 3);
    }
}

TEST(DamagedGif, DataEndingBeforeTheLastPixel) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("short.gif"));
    const QByteArray whole = samples::gif(samples::fewColours(8, 8));
    // The first frame's data: a code size, then one block. End it after a clear code and two pixels.
    const qsizetype data = whole.indexOf(QByteArray("\x2C\x00\x00\x00\x00", 5)) + 10;
    QByteArray early = whole.left(data + 1);
    early += QByteArray("\x03\x10\x84\x08\x00\x3B", 6); // clear, 0, 1, end; terminator; trailer
    writeBytes(path, early);
    EXPECT_EQ(outcomeOf(path),
              "Damaged GIF picture \"" + path.toStdString() + "\": its first frame is incomplete");
    // Later frames do not count: the first is what the program shows.
    const QByteArray animated = samples::gif(samples::fewColours(8, 8), {.frames = 2});
    writeBytes(path, animated.left(animated.size() - 20));
    EXPECT_EQ(outcomeOf(path), "loaded");
}

TEST(DamagedBmp, RleDataEndingBeforeTheLastRow) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("rle.bmp"));
    auto rle = [](std::vector<std::uint8_t> pixels) {
        return makeBmp({.width = 4,
                        .height = 3,
                        .bitCount = 8,
                        .compression = 1,
                        .palette = {0, 0xFFFFFF},
                        .colorsUsed = 2,
                        .pixels = std::move(pixels)});
    };
    // Two of three rows, then the data ends: damaged.
    writeBytes(path, rle({4, 1, 0, 0, 4, 1, 0, 0}));
    EXPECT_EQ(outcomeOf(path),
              "Damaged BMP picture \"" + path.toStdString() + "\": its compressed pixel data ends early");
    // The same rows and an end-of-picture code: the rest is blank, as the format allows.
    writeBytes(path, rle({4, 1, 0, 0, 4, 1, 0, 1}));
    const Bitmap b = loadPicture(path);
    EXPECT_EQ(b.pixel(3, 1)[0], 255);
    EXPECT_EQ(b.pixel(0, 0)[0], 0);
    // All rows without the end code: nothing is missing.
    writeBytes(path, rle({4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0}));
    EXPECT_EQ(loadPicture(path).pixel(0, 0)[0], 255);
}
