#include "FileTestSupport.h"

#include "Errors.h"
#include "PictureFile.h"

#include <QImageReader>
#include <QTransform>

#include <gmock/gmock.h>

#include <png.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace filetest;
using pixmora::Error;
using pixmora::loadPicture;
using testing::HasSubstr;

namespace {

// The message of the Error a load throws; fails the test when the load succeeds or throws anything else.
std::string loadError(const QString& path) {
    try {
        loadPicture(path);
    } catch (const Error& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not a pixmora::Error: " << e.what();
        return {};
    }
    ADD_FAILURE() << "loaded without an error: " << path.toStdString();
    return {};
}

Bitmap qtDecoded(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return fromQImage(reader.read());
}

struct Sample {
    const char* name;
    int width, height;
};

class SampleTest : public testing::TestWithParam<Sample> {};

} // namespace

// Every sample comes out at its size and, pixel for pixel, as Qt's own decoders see it (both JPEG paths
// run the same libjpeg with its default settings, so even the JPEGs agree exactly).
TEST_P(SampleTest, LoadsAsQtDecodesIt) {
    const QString path = sample(GetParam().name);
    const Bitmap b = loadPicture(path);
    EXPECT_EQ(b.width(), GetParam().width);
    EXPECT_EQ(b.height(), GetParam().height);
    EXPECT_TRUE(b == qtDecoded(path));
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleTest,
                         testing::Values(Sample{"logo.jpg", 320, 240},
                                         Sample{"logo-progressive.jpg", 320, 240},
                                         Sample{"logo-gray.jpg", 320, 240}, Sample{"logo-cmyk.jpg", 320, 240},
                                         Sample{"logo-exif6.jpg", 240, 320}, Sample{"logo.png", 320, 240},
                                         Sample{"rose.bmp", 70, 46}, Sample{"rose-24.bmp", 70, 46},
                                         Sample{"rose-32.bmp", 70, 46}, Sample{"rose-pal8.bmp", 70, 46},
                                         Sample{"rose-rle8.bmp", 70, 46}, Sample{"rose.gif", 70, 46},
                                         Sample{"rose-alpha.png", 70, 46}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

// Real-world files of the team's collection, when it stands beside the sources.
TEST(LoadPicture, SharedSamplesLoadAsQtDecodesThem) {
    if (!haveSharedSamples())
        GTEST_SKIP() << "no shared sample folder at " PIXMORA_TESTDATA_DIR;
    const QStringList names = QDir(QStringLiteral(PIXMORA_TESTDATA_DIR))
                                  .entryList({"*.jpg", "*.png", "*.bmp", "*.gif"}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = sharedSample(name.toUtf8().constData());
        EXPECT_TRUE(loadPicture(path) == qtDecoded(path));
    }
}

TEST(LoadPicture, BmpVariantsOfOnePicture) {
    const Bitmap v5 = loadPicture(sample("rose.bmp"));
    EXPECT_TRUE(loadPicture(sample("rose-24.bmp")) == v5);
    EXPECT_TRUE(loadPicture(sample("rose-32.bmp")) == v5);
    // The picture has sixteen colours, so the palette versions hold it exactly.
    EXPECT_TRUE(loadPicture(sample("rose-pal8.bmp")) == v5);
    EXPECT_TRUE(loadPicture(sample("rose-rle8.bmp")) == v5);
    EXPECT_TRUE(loadPicture(sample("rose.gif")) == v5);
}

TEST(LoadPicture, GreyAndCmykJpegsLookLikeTheColourOne) {
    const Bitmap colour = loadPicture(sample("logo.jpg"));
    const Bitmap grey = loadPicture(sample("logo-gray.jpg"));
    for (int y = 0; y < grey.height(); y += 17)
        for (int x = 0; x < grey.width(); x += 13) {
            const std::uint8_t* p = grey.pixel(x, y);
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]);
        }
    EXPECT_LT(meanAbsDiff(loadPicture(sample("logo-cmyk.jpg")), colour), 6.0);
}

// The sample's EXIF says "turn a quarter clockwise"; its pixels are those of logo.jpg.
TEST(LoadPicture, ExifOrientationTurnsThePicture) {
    QImageReader raw(sample("logo-exif6.jpg"));
    raw.setAutoTransform(false);
    const Bitmap upright = loadPicture(sample("logo.jpg"));
    ASSERT_TRUE(fromQImage(raw.read()) == upright);
    EXPECT_TRUE(loadPicture(sample("logo-exif6.jpg")) ==
                fromQImage(toQImage(upright).transformed(QTransform().rotate(90))));
}

namespace {

QByteArray jpegWithOrientation(int orientation, bool bigEndian, int entryType = 3) {
    return samples::withExifOrientation(readBytes(sample("logo.jpg")), orientation, bigEndian, entryType);
}

} // namespace

TEST(LoadPicture, EveryExifOrientationInBothByteOrders) {
    const QImage upright = toQImage(loadPicture(sample("logo.jpg")));
    // What each orientation asks for, built from Qt's own transforms.
    const QImage expected[9] = {
        {},
        upright,
        upright.mirrored(true, false),
        upright.transformed(QTransform().rotate(180)),
        upright.mirrored(false, true),
        upright.mirrored(true, false).transformed(QTransform().rotate(270)),
        upright.transformed(QTransform().rotate(90)),
        upright.mirrored(true, false).transformed(QTransform().rotate(90)),
        upright.transformed(QTransform().rotate(270)),
    };
    ScratchDir dir;
    for (int orientation = 1; orientation <= 8; ++orientation)
        for (bool big : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << orientation << (big ? " big-endian" : " little-endian"));
            const QString path = dir.path(QStringLiteral("o.jpg"));
            writeBytes(path, jpegWithOrientation(orientation, big));
            EXPECT_TRUE(loadPicture(path) == fromQImage(expected[orientation]));
        }
    // Values outside 1..8 and entries of another type are no orientation at all.
    for (int odd : {0, 9, 0xFFFF}) {
        const QString path = dir.path(QStringLiteral("odd.jpg"));
        writeBytes(path, jpegWithOrientation(odd, false));
        EXPECT_TRUE(loadPicture(path) == fromQImage(upright));
    }
    writeBytes(dir.path(QStringLiteral("long.jpg")), jpegWithOrientation(6, true, 4));
    EXPECT_EQ(loadPicture(dir.path(QStringLiteral("long.jpg"))).width(), 240);
}

// An EXIF segment whose offsets point anywhere must neither crash nor read outside the segment.
TEST(LoadPicture, HostileExifIsIgnored) {
    ScratchDir dir;
    const QByteArray good = jpegWithOrientation(6, false);
    const int tiffStart = 2 + 4 + 6; // SOI, marker and length, "Exif\0\0"
    struct Lie {
        int at;
        QByteArray bytes;
    };
    const Lie lies[] = {
        {tiffStart + 4, QByteArray("\xF0\xFF\xFF\xFF", 4)}, // first directory far outside
        {tiffStart + 4, QByteArray("\x19\x00\x00\x00", 4)}, // directory one byte short of its count
        {tiffStart + 8, QByteArray("\xFF\xFF\x13\x01", 4)}, // 65535 entries in a 26-byte segment
        {tiffStart + 2, QByteArray("\x2B\x00", 2)},         // not TIFF
        {tiffStart, QByteArray("XX", 2)},                   // no byte order
    };
    for (const Lie& lie : lies) {
        QByteArray bad = good;
        bad.replace(lie.at, lie.bytes.size(), lie.bytes);
        const QString path = dir.path(QStringLiteral("bad.jpg"));
        writeBytes(path, bad);
        EXPECT_EQ(loadPicture(path).width(), 320);
    }
}

TEST(LoadPicture, MissingUnreadableAndNonPictureFiles) {
    ScratchDir dir;
    EXPECT_EQ(loadError(dir.path(QStringLiteral("nothing.jpg"))),
              "File not found: \"" + dir.path(QStringLiteral("nothing.jpg")).toStdString() + "\"");
    EXPECT_THAT(loadError(QString()), HasSubstr("File not found"));
    EXPECT_THAT(loadError(dir.root()), HasSubstr("folder"));
    EXPECT_EQ(loadError(QStringLiteral("/dev/null")), "Not a regular file: \"/dev/null\"");

    const QString empty = dir.path(QStringLiteral("empty.png"));
    writeBytes(empty, {});
    EXPECT_EQ(loadError(empty), "Empty picture file: \"" + empty.toStdString() + "\"");

    const QString text = dir.path(QStringLiteral("notes.bmp"));
    writeBytes(text, "just some text, not a picture\n");
    EXPECT_EQ(loadError(text), "Unknown picture format: \"" + text.toStdString() + "\"");

    const QString garbage = dir.path(QStringLiteral("garbage.jpg"));
    std::mt19937 random(7);
    QByteArray noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    noise[0] = 'x'; // neither a JPEG nor a BMP start
    writeBytes(garbage, noise);
    EXPECT_THAT(loadError(garbage), HasSubstr(garbage.toStdString()));
}

TEST(LoadPicture, UnreadableFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    ScratchDir dir;
    const QString locked = dir.path(QStringLiteral("locked.jpg"));
    writeBytes(locked, readBytes(sample("logo.jpg")));
    ::chmod(QFile::encodeName(locked).constData(), 0);
    EXPECT_EQ(loadError(locked), "File access denied: \"" + locked.toStdString() + "\"");
}

TEST(LoadPicture, DamagedJpegs) {
    ScratchDir dir;
    const QByteArray jpeg = readBytes(sample("logo.jpg"));
    const QString path = dir.path(QStringLiteral("cut.jpg"));
    writeBytes(path, jpeg.left(jpeg.size() / 2));
    EXPECT_EQ(loadError(path),
              "Damaged JPEG picture \"" + path.toStdString() + "\": Premature end of JPEG file");

    writeBytes(path, readBytes(sample("logo-progressive.jpg")).left(3000));
    EXPECT_THAT(loadError(path), HasSubstr("Premature end of JPEG file"));

    writeBytes(path, jpeg.left(200));
    EXPECT_THAT(loadError(path), HasSubstr("Damaged JPEG picture"));

    QByteArray noTables = jpeg;
    noTables.replace(noTables.indexOf("\xFF\xDB"), 2, QByteArray("\xFF\xEE", 2)); // a quantisation table gone
    writeBytes(path, noTables);
    EXPECT_THAT(loadError(path), HasSubstr("Damaged JPEG picture"));
}

namespace {

// logo.jpg claiming another size in its frame header.
QByteArray jpegClaiming(unsigned width, unsigned height) {
    QByteArray jpeg = readBytes(sample("logo.jpg"));
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

std::string loadError(const QString& path, long long maxPixels) {
    try {
        loadPicture(path, {maxPixels});
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "loaded without an error: " << path.toStdString();
    return {};
}

} // namespace

TEST(LoadPicture, OversizedPicturesAreRefusedBeforeDecoding) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("huge %2.jpg"));
    writeBytes(path, jpegClaiming(65535, 240));
    EXPECT_THAT(loadError(path), HasSubstr("is too large: 65535 x 240 pixels"));
    writeBytes(path, jpegClaiming(0, 240));
    EXPECT_THAT(loadError(path), HasSubstr("Damaged JPEG picture"));
    writeBytes(path, jpegClaiming(3000, 2000));
    EXPECT_EQ(loadError(path, 5'000'000),
              "The picture \"" + path.toStdString() +
                  "\" is too large: 3000 x 2000 pixels (more than the limit of 5 megapixels)");

    const QString bmp = dir.path(QStringLiteral("wide %1.bmp")); // a "%1" in a name stays as it is
    writeBytes(bmp, makeBmp({.width = 70000, .height = 10}));
    EXPECT_EQ(loadError(bmp), "The picture \"" + bmp.toStdString() +
                                  "\" is too large: 70000 x 10 pixels (at most 65535 pixels on a side)");
    writeBytes(bmp, makeBmp({.width = 10, .height = -70000}));
    EXPECT_THAT(loadError(bmp), HasSubstr("is too large: 10 x 70000 pixels"));
    writeBytes(bmp, makeBmp({.width = 10, .height = INT32_MIN}));
    EXPECT_THAT(loadError(bmp), HasSubstr("is too large: 10 x 2147483648 pixels"));
    // The same limits hold for what Qt reads, from the header Qt announces.
    const QString gif = dir.path(QStringLiteral("big.gif"));
    writeBytes(gif, samples::gif(samples::fewColours(3000, 2000)));
    EXPECT_THAT(loadError(gif, 1'000'000),
                HasSubstr("is too large: 3000 x 2000 pixels (more than the limit of 1"));
}

TEST(CheckPictureSize, SidesPixelsAndMemory) {
    using pixmora::checkPictureSize;
    EXPECT_NO_THROW(checkPictureSize(1, 1));
    EXPECT_NO_THROW(checkPictureSize(65535, 1));
    EXPECT_NO_THROW(checkPictureSize(1, 65535));
    EXPECT_THROW(checkPictureSize(65536, 1), Error);
    EXPECT_THROW(checkPictureSize(1, 65536), Error);
    EXPECT_THROW(checkPictureSize(0, 5), Error);
    EXPECT_THROW(checkPictureSize(5, -1), Error);
    EXPECT_NO_THROW(checkPictureSize(1000, 1000, {1'000'000}));
    EXPECT_THROW(checkPictureSize(1001, 1000, {1'000'000}), Error);
    // A limit lifts the memory check: the caller has decided.
    EXPECT_NO_THROW(checkPictureSize(65535, 65535, {1LL << 40}));

    // Four bitmaps of the picture must fit in the budget.
    EXPECT_EQ(pixmora::editingBytes(5, 3), 4 * 16 * 3);
    const long long budget = pixmora::pictureMemoryBudget();
    ASSERT_GT(budget, 0);
    const long long rows = budget / pixmora::editingBytes(65535, 1);
    if (rows < 65535) {
        EXPECT_NO_THROW(checkPictureSize(65535, rows));
        try {
            checkPictureSize(65535, rows + 16);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(),
                        testing::StartsWith("The picture is too large for this machine's memory: 65535 x " +
                                            std::to_string(rows + 16) + " pixels (editing it takes "));
        }
    }
    try {
        checkPictureSize(70000, 3);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "The picture is too large: 70000 x 3 pixels (at most 65535 pixels on a side)");
    }
}

// Files written here are checked against Qt's BMP reader, an independent decoder of the same format.
TEST(LoadBmp, CraftedLayoutsDecodeAsQtDecodesThem) {
    ScratchDir dir;
    const std::vector<std::uint32_t> four = {0x000000, 0xFF0000, 0x00FF00, 0x3366CC};
    struct Case {
        const char* what;
        BmpSpec spec;
    };
    const Case cases[] = {
        {"1 bit, 9 wide",
         {.width = 9,
          .height = 2,
          .bitCount = 1,
          .palette = {0x102030, 0xF0E0D0},
          .pixels = {0xA5, 0x80, 0, 0, 0x5A, 0x00, 0, 0}}},
        {"4 bits, odd width",
         {.width = 3,
          .height = 2,
          .bitCount = 4,
          .palette = four,
          .colorsUsed = 4,
          .pixels = {0x12, 0x30, 0, 0, 0x21, 0x00, 0, 0}}},
        {"8 bits, top-down",
         {.width = 2,
          .height = -2,
          .bitCount = 8,
          .palette = four,
          .colorsUsed = 4,
          .pixels = {1, 2, 0, 0, 3, 0, 0, 0}}},
        {"8 bits, four colours used",
         {.width = 2, .height = 1, .bitCount = 8, .palette = four, .colorsUsed = 4, .pixels = {3, 1, 0, 0}}},
        {"24 bits, top-down, padded",
         {.width = 1, .height = -2, .bitCount = 24, .pixels = {1, 2, 3, 0, 4, 5, 6, 0}}},
        {"32 bits, bit masks",
         {.width = 2,
          .height = 1,
          .bitCount = 32,
          .compression = 3,
          .masks = {0x00FF0000, 0x0000FF00, 0x000000FF},
          .pixels = {10, 20, 30, 0, 40, 50, 60, 255}}},
        {"32 bits, V5 header, masks swapped",
         {.headerSize = 124,
          .width = 1,
          .height = 1,
          .bitCount = 32,
          .compression = 3,
          .masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000},
          .pixels = {10, 20, 30, 40}}},
        {"OS/2 core header",
         {.headerSize = 12,
          .width = 2,
          .height = 2,
          .bitCount = 8,
          .palette = std::vector<std::uint32_t>(256, 0x445566),
          .pixels = {0, 1, 0, 0, 1, 0, 0, 0}}},
        {"RLE8 with runs and a literal",
         {.width = 4,
          .height = 2,
          .bitCount = 8,
          .compression = 1,
          .palette = four,
          .colorsUsed = 4,
          .pixels = {4, 1, 0, 0, 0, 4, 3, 2, 1, 0, 0, 1}}},
        {"RLE4 with runs and a literal",
         {.width = 5,
          .height = 1,
          .bitCount = 4,
          .compression = 2,
          .palette = four,
          .colorsUsed = 4,
          .pixels = {2, 0x12, 0, 3, 0x31, 0x20, 0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.path(QStringLiteral("c.bmp"));
        writeBytes(path, makeBmp(c.spec));
        QImage qt(path, "BMP");
        ASSERT_FALSE(qt.isNull());
        EXPECT_TRUE(loadPicture(path) == fromQImage(qt));
    }
}

// Where Qt cannot serve as the reference (narrow channels, which Qt only shifts, so that its white
// is 248; skipped pixels; depths Qt does not read), the expected pixels are written out.
TEST(LoadBmp, MasksDeltasAndUnusualDepths) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("c.bmp"));
    auto bgr = [](const Bitmap& b, int x, int y) {
        const std::uint8_t* p = b.pixel(x, y);
        return std::vector<int>{p[0], p[1], p[2]};
    };
    Bitmap b;

    // 555 without masks: 31 -> 255, 1 -> 8, 3 -> 24, 16 -> 132.
    writeBytes(path, makeBmp({.width = 4,
                              .height = 1,
                              .bitCount = 16,
                              .pixels = {0x1F, 0x7C, 0x21, 0x04, 0x63, 0x0C, 0x10, 0x42}}));
    b = loadPicture(path);
    EXPECT_EQ(bgr(b, 0, 0), (std::vector<int>{255, 0, 255}));
    EXPECT_EQ(bgr(b, 1, 0), (std::vector<int>{8, 8, 8}));
    EXPECT_EQ(bgr(b, 2, 0), (std::vector<int>{24, 24, 24}));
    EXPECT_EQ(bgr(b, 3, 0), (std::vector<int>{132, 132, 132}));

    // 565: full red, half green (32 of 63), a third of blue (10 of 31).
    writeBytes(path, makeBmp({.width = 2,
                              .height = 1,
                              .bitCount = 16,
                              .compression = 3,
                              .masks = {0xF800, 0x07E0, 0x001F},
                              .pixels = {0x00, 0xF8, 0x0A, 0x04}}));
    b = loadPicture(path);
    EXPECT_EQ(bgr(b, 0, 0), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(bgr(b, 1, 0), (std::vector<int>{82, 130, 0}));

    // Ten bits a channel keep their top eight.
    writeBytes(path, makeBmp({.width = 1,
                              .height = 1,
                              .bitCount = 32,
                              .compression = 3,
                              .masks = {0x3FF00000, 0x000FFC00, 0x000003FF},
                              .pixels = {0xFF, 0x03, 0x10, 0x3F}}));
    EXPECT_EQ(bgr(loadPicture(path), 0, 0), (std::vector<int>{255, 0, 252}));

    // 2 bits per pixel (Windows CE), MSB first.
    writeBytes(path, makeBmp({.width = 4,
                              .height = 1,
                              .bitCount = 2,
                              .palette = {0x000001, 0x000002, 0x000003, 0x000004},
                              .pixels = {0b00011011, 0, 0, 0}}));
    b = loadPicture(path);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(b.pixel(x, 0)[0], x + 1);

    // RLE8: a delta skips pixels (they stay black); an index beyond the palette is black too.
    writeBytes(path, makeBmp({.width = 4,
                              .height = 2,
                              .bitCount = 8,
                              .compression = 1,
                              .palette = {0, 0xFFFFFF},
                              .colorsUsed = 2,
                              .pixels = {1, 1, 1, 200, 0, 2, 1, 1, 1, 1, 0, 1}}));
    b = loadPicture(path);
    EXPECT_EQ(bgr(b, 0, 1), (std::vector<int>{255, 255, 255})); // bottom row, stored first
    EXPECT_EQ(bgr(b, 1, 1), (std::vector<int>{0, 0, 0}));       // index 200
    EXPECT_EQ(bgr(b, 2, 1), (std::vector<int>{0, 0, 0}));       // skipped
    EXPECT_EQ(bgr(b, 3, 0), (std::vector<int>{255, 255, 255})); // after moving 1 right and 1 up
    EXPECT_EQ(bgr(b, 0, 0), (std::vector<int>{0, 0, 0}));       // skipped

    // Fewer colours than the depth allows, told only by where the pixels start.
    writeBytes(path, makeBmp({.width = 2,
                              .height = 1,
                              .bitCount = 8,
                              .palette = {0x0A0B0C, 0x010203},
                              .pixels = {1, 0, 0, 0}}));
    b = loadPicture(path);
    EXPECT_EQ(bgr(b, 0, 0), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(bgr(b, 1, 0), (std::vector<int>{12, 11, 10}));

    // The last row without its padding is still whole.
    QByteArray unpadded = makeBmp({.width = 1, .height = 2, .bitCount = 24, .pixels = {1, 2, 3, 0, 4, 5, 6}});
    writeBytes(path, unpadded);
    EXPECT_EQ(bgr(loadPicture(path), 0, 0), (std::vector<int>{4, 5, 6}));
}

TEST(LoadBmp, HostileHeadersNameTheProblem) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("bad.bmp"));
    struct Case {
        QByteArray bytes;
        const char* message;
    };
    const QByteArray good = makeBmp({.width = 2, .height = 2, .pixels = std::vector<std::uint8_t>(16, 7)});
    auto patched = [&](int at, std::uint32_t value) {
        QByteArray b = good;
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>(value >> (8 * i));
        return b;
    };
    const Case cases[] = {
        {QByteArray("BM", 2), "the file ends inside its header"},
        {good.left(30), "the file ends inside its header"},
        {patched(14, 41), "unknown header size of 41 bytes"},
        {patched(14, 0xFFFFFFF0), "unknown header size"},
        {patched(14, 64), "OS/2 2.x"},
        {patched(18, static_cast<std::uint32_t>(-5)), "its width is -5 pixels"},
        {patched(18, 0), "its width is 0 pixels"},
        {patched(22, 0), "its height is 0 pixels"},
        {patched(10, 20), "would start at byte 20, inside its header"},
        {patched(10, 0xFFFFFFFF), "would start at byte 4294967295, beyond the end of the file"},
        {patched(10, 60), "its pixel data is cut short (10 of 14 bytes)"},
        {good.left(good.size() - 3), "its pixel data is cut short"},
        {patched(30, 9), "unknown compression 9"},
        {patched(30, 4), "embedded JPEG data is not supported"},
        {patched(30, 1), "RLE8 compression with 24 bits per pixel"},
        {patched(30, 3), "bit masks with 24 bits per pixel"},
        {makeBmp({.width = 2, .height = 2, .bitCount = 3}), "a colour depth of 3 bits"},
        {makeBmp({.width = 2, .height = 2, .bitCount = 8, .pixels = {0, 0, 0, 0, 0, 0, 0, 0}}),
         "its colour table is missing"},
        {makeBmp({.width = 2, .height = 2, .bitCount = 8, .colorsUsed = 200, .pixelOffset = 1000}).left(200),
         "would start at byte 1000, beyond the end of the file"},
        {makeBmp({.width = 10000, .height = 10000, .pixels = std::vector<std::uint8_t>(100)}),
         "its pixel data is cut short (100 of 300000000 bytes)"},
        {makeBmp(
             {.width = 4, .height = 2, .bitCount = 8, .compression = 1, .palette = {0}, .pixels = {4, 0, 0}}),
         "its compressed pixel data ends early"},
        {makeBmp({.width = 4,
                  .height = 2,
                  .bitCount = 8,
                  .compression = 1,
                  .palette = {0},
                  .pixels = {0, 5, 1, 2}}),
         "its compressed pixel data ends early"},
    };
    for (const Case& c : cases) {
        writeBytes(path, c.bytes);
        const std::string message = loadError(path);
        EXPECT_THAT(message, HasSubstr(c.message));
        EXPECT_THAT(message, HasSubstr("BMP picture \"" + path.toStdString() + "\": "));
    }
}

// Every cut and a few thousand byte flips of the samples: each load either succeeds or throws Error.
// Run under valgrind or a sanitizer this also proves that no read leaves the data.
TEST(LoadBmp, CutAndScrambledFilesNeverCrash) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("f.bmp"));
    std::mt19937 random(2024);
    for (const char* name : {"rose-rle8.bmp", "rose-pal8.bmp", "rose.bmp", "rose-32.bmp"}) {
        const QByteArray original = readBytes(sample(name));
        ASSERT_GT(original.size(), 400) << name;
        for (int cut = 0; cut < 150; ++cut) { // inside the headers and palette
            writeBytes(path, original.left(cut));
            EXPECT_THROW(loadPicture(path), Error);
        }
        for (int cut = 1; cut < 400; cut += 7) { // inside the pixels: only a missing padding may pass
            writeBytes(path, original.left(original.size() - cut));
            try {
                loadPicture(path);
                EXPECT_LT(cut, 4);
            } catch (const Error&) {
            }
        }
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = original;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i) {
                // Mostly the headers and palette, where the lies are.
                const qsizetype at = random() % 2 ? random() % 160 : random() % bytes.size();
                bytes[at] = static_cast<char>(random());
            }
            writeBytes(path, bytes);
            try {
                const Bitmap b = loadPicture(path);
                EXPECT_FALSE(b.isEmpty());
            } catch (const Error&) {
            }
        }
    }
}

TEST(LoadPicture, DamagedQtFormats) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("cut.png"));
    const QByteArray png = readBytes(sample("logo.png"));
    writeBytes(path, png.left(png.size() / 2));
    EXPECT_THAT(loadError(path), HasSubstr("Damaged PNG picture \"" + path.toStdString() + "\""));
}

// Qt refuses images above 256 MiB unless told otherwise; a 9000 x 8000 PNG decodes to 288 MB.
TEST(LoadPicture, LargePngAboveQtsDefaultLimit) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("large.png"));
    {
        // Written here at the fastest compression: the test is about reading.
        std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
        ASSERT_TRUE(f);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_set_compression_level(png, 1);
        png_set_filter(png, 0, PNG_FILTER_NONE);
        png_set_IHDR(png, info, 9000, 8000, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(9000 * 3);
        for (int y = 0; y < 8000; ++y) {
            if (y == 7999)
                row[8999 * 3] = 200; // red of the last pixel
            png_write_row(png, row.data());
        }
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
    }
    const Bitmap loaded = loadPicture(path);
    EXPECT_EQ(loaded.width(), 9000);
    EXPECT_EQ(loaded.height(), 8000);
    EXPECT_EQ(loaded.pixel(8999, 7999)[2], 200);
    EXPECT_EQ(loaded.pixel(8998, 7999)[2], 0);
}

// The same for JPEG headers, where our own EXIF reader and libjpeg's error path meet hostile bytes.
TEST(LoadPicture, ScrambledJpegHeadersNeverCrash) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("f.jpg"));
    const QByteArray original = jpegWithOrientation(6, true);
    std::mt19937 random(99);
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = original;
        for (int i = 0; i < 3; ++i)
            bytes[3 + random() % 400] = static_cast<char>(random());
        writeBytes(path, round % 5 == 0 ? bytes.left(random() % bytes.size()) : bytes);
        try {
            loadPicture(path);
        } catch (const Error&) {
        }
    }
}
