#include "FileTestSupport.h"

#include "Errors.h"
#include "PictureFile.h"

#include <gmock/gmock.h>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace filetest;
using pixmora::Error;
using pixmora::loadPicture;
using pixmora::PictureFormat;
using testing::HasSubstr;

namespace {

std::uint32_t le32(const QByteArray& b, int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(b[at + i]);
    return v;
}
unsigned le16(const QByteArray& b, int at) {
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8;
}

// The same picture encoded by libjpeg with nothing but the defaults and the quality set.
QByteArray referenceJpeg(const Bitmap& b, int quality) {
    return samples::jpeg(b, samples::JpegKind::Baseline, quality);
}

std::string saveError(const std::function<void()>& save) {
    try {
        save();
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "saved without an error";
    return {};
}

} // namespace

TEST(SaveBmp, HeaderAndRowsAreTheClassicLayout) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("p.bmp"));
    const Bitmap b = patterned(5, 3); // 15 bytes of pixels, padded to 16
    pixmora::savePictureBmp(b, path);
    const QByteArray f = readBytes(path);
    ASSERT_EQ(f.size(), 54 + 16 * 3);
    EXPECT_EQ(f.left(2), "BM");
    EXPECT_EQ(le32(f, 2), 54u + 48u); // file size
    EXPECT_EQ(le32(f, 6), 0u);        // reserved
    EXPECT_EQ(le32(f, 10), 54u);      // pixel data offset
    EXPECT_EQ(le32(f, 14), 40u);      // BITMAPINFOHEADER
    EXPECT_EQ(le32(f, 18), 5u);       // width
    EXPECT_EQ(le32(f, 22), 3u);       // height, positive: bottom-up
    EXPECT_EQ(le16(f, 26), 1u);       // planes
    EXPECT_EQ(le16(f, 28), 24u);      // bits per pixel
    EXPECT_EQ(le32(f, 30), 0u);       // BI_RGB
    EXPECT_EQ(le32(f, 34), 48u);      // image size
    for (int at = 38; at < 54; at += 4) {
        EXPECT_EQ(le32(f, at), 0u) << at; // resolution, colours used, colours important
    }
    // The bottom row comes first, its padding byte is zero.
    EXPECT_EQ(f.mid(54, 15), QByteArray(reinterpret_cast<const char*>(b.row(2)), 15));
    EXPECT_EQ(f[54 + 15], '\0');
    EXPECT_EQ(f.mid(54 + 32, 15), QByteArray(reinterpret_cast<const char*>(b.row(0)), 15));
}

TEST(SaveBmp, RoundTripsExactlyAtEveryPadding) {
    ScratchDir dir;
    for (int w = 1; w <= 6; ++w)
        for (int h : {1, 2, 7}) {
            SCOPED_TRACE(testing::Message() << w << " x " << h);
            const QString path = dir.path(QStringLiteral("r.bmp"));
            const Bitmap b = patterned(w, h);
            pixmora::savePictureBmp(b, path);
            EXPECT_TRUE(loadPicture(path) == b);
            EXPECT_TRUE(fromQImage(QImage(path)) == b);
        }
}

TEST(SavePng, RoundTripsExactlyAsEightBitRgb) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("r.png"));
    const Bitmap b = patterned(37, 11);
    pixmora::savePicturePng(b, path);
    const QByteArray f = readBytes(path);
    ASSERT_GT(f.size(), 26);
    EXPECT_EQ(f.mid(12, 4), "IHDR");
    EXPECT_EQ(static_cast<int>(f[24]), 8); // bit depth
    EXPECT_EQ(static_cast<int>(f[25]), 2); // colour type RGB
    EXPECT_TRUE(loadPicture(path) == b);
    EXPECT_TRUE(fromQImage(QImage(path)) == b);
}

TEST(SaveJpeg, IsLibjpegsDefaultEncodingAtTheGivenQuality) {
    ScratchDir dir;
    const QString path = dir.path(QStringLiteral("r.jpg"));
    const Bitmap logo = loadPicture(sample("logo.png"));
    pixmora::savePictureJpeg(logo, path, 80);
    const QByteArray f = readBytes(path);
    EXPECT_EQ(f, referenceJpeg(logo, 80));

    // What those defaults are: a JFIF file, baseline, 4:2:0, and quality 80's luminance table
    // (16 x 40 / 100 rounded, for the table's first entry).
    EXPECT_EQ(f.mid(6, 5), QByteArray("JFIF\0", 5));
    const qsizetype sof = f.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    EXPECT_EQ(f.indexOf("\xFF\xC2"), -1);
    EXPECT_EQ(static_cast<int>(f[sof + 9]), 3);     // components
    EXPECT_EQ(static_cast<int>(f[sof + 11]), 0x22); // luminance sampled 2 x 2
    const qsizetype dqt = f.indexOf("\xFF\xDB");
    EXPECT_EQ(static_cast<int>(f[dqt + 5]), 6);

    const Bitmap back = loadPicture(path);
    ASSERT_EQ(back.width(), logo.width());
    EXPECT_LT(meanAbsDiff(back, logo), 2.5);

    pixmora::savePictureJpeg(logo, path, 30);
    EXPECT_EQ(readBytes(path), referenceJpeg(logo, 30));
}

TEST(SavePicture, DispatchesByFormatAndRefusesUnknown) {
    ScratchDir dir;
    const Bitmap b = patterned(4, 4);
    pixmora::savePicture(b, dir.path(QStringLiteral("a")), PictureFormat::Bmp);
    pixmora::savePicture(b, dir.path(QStringLiteral("b")), PictureFormat::Jpeg);
    pixmora::savePicture(b, dir.path(QStringLiteral("c")), PictureFormat::Png);
    EXPECT_EQ(readBytes(dir.path(QStringLiteral("a"))).left(2), "BM");
    EXPECT_EQ(readBytes(dir.path(QStringLiteral("b"))), referenceJpeg(b, 80));
    EXPECT_EQ(readBytes(dir.path(QStringLiteral("c"))).mid(1, 3), "PNG");

    const QString gif = dir.path(QStringLiteral("d.gif"));
    EXPECT_EQ(saveError([&] { pixmora::savePicture(b, gif, PictureFormat::Unknown); }),
              "Unknown picture format for \"" + gif.toStdString() + "\": use .bmp, .jpg, .jpeg or .png");
    EXPECT_FALSE(QFile::exists(gif));
}

TEST(SavePicture, EmptyPictures) {
    ScratchDir dir;
    const Bitmap empty;
    EXPECT_THAT(saveError([&] { pixmora::savePictureJpeg(empty, dir.path(QStringLiteral("e.jpg")), 80); }),
                HasSubstr("Cannot write an empty picture (0 x 0 pixels) as JPEG"));
    EXPECT_THAT(saveError([&] { pixmora::savePicturePng(empty, dir.path(QStringLiteral("e.png"))); }),
                HasSubstr("as PNG"));
    // A BMP can say "no pixels"; reading it back refuses it as a picture.
    pixmora::savePictureBmp(empty, dir.path(QStringLiteral("e.bmp")));
    EXPECT_EQ(readBytes(dir.path(QStringLiteral("e.bmp"))).size(), 54);
    EXPECT_THROW(loadPicture(dir.path(QStringLiteral("e.bmp"))), Error);
    EXPECT_EQ(dir.entries(), QStringList{QStringLiteral("e.bmp")});
}

// A failed write leaves the old file as it was and no temporary file behind.
TEST(SavePicture, FailuresLeaveTheOldFileAlone) {
    ScratchDir dir;
    const Bitmap b = patterned(3, 3);

    const QString missing = dir.path(QStringLiteral("no/such/folder/x.bmp"));
    EXPECT_EQ(saveError([&] { pixmora::savePictureBmp(b, missing); }),
              "File not found: \"" + missing.toStdString() + "\"");

    QDir(dir.root()).mkdir(QStringLiteral("sub"));
    EXPECT_THAT(saveError([&] { pixmora::savePicturePng(b, dir.path(QStringLiteral("sub"))); }),
                HasSubstr("File access denied"));

    // libjpeg stops at 65500 pixels, after the temporary file was opened.
    const QString old = dir.path(QStringLiteral("old.jpg"));
    writeBytes(old, "the old content");
    EXPECT_THAT(saveError([&] { pixmora::savePictureJpeg(Bitmap(65501, 1), old, 80); }),
                HasSubstr("Cannot write the JPEG picture \"" + old.toStdString() + "\": "));
    EXPECT_EQ(readBytes(old), "the old content");
    EXPECT_EQ(dir.entries(), (QStringList{QStringLiteral("old.jpg"), QStringLiteral("sub")}));
}

TEST(SavePicture, AFullDiskIsReportedAsSuchByEveryWriter) {
    // A file size limit makes writes fail the way a full disk does (EFBIG), without filling one.
    ScratchDir dir;
    const Bitmap big = patterned(400, 300);
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString jpeg = dir.path(QStringLiteral("p.jpg")), png = dir.path(QStringLiteral("p.png")),
                  bmp = dir.path(QStringLiteral("p.bmp"));
    writeBytes(jpeg, "the old content");
    const std::string jpegError = saveError([&] { pixmora::savePictureJpeg(big, jpeg, 100); });
    const std::string pngError = saveError([&] { pixmora::savePicturePng(big, png); });
    const std::string bmpError = saveError([&] { pixmora::savePictureBmp(big, bmp); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(jpegError, "Disk full: \"" + jpeg.toStdString() + "\"");
    EXPECT_EQ(pngError, "Disk full: \"" + png.toStdString() + "\"");
    EXPECT_EQ(bmpError, "Disk full: \"" + bmp.toStdString() + "\"");
    EXPECT_EQ(readBytes(jpeg), "the old content");
    EXPECT_EQ(dir.entries(), QStringList{QStringLiteral("p.jpg")});
}

TEST(SavePicture, AWriteProtectedFileStaysAsItWas) {
    // Root may write anything, so the check runs as an ordinary user for the one save.
    ScratchDir dir;
    ::chmod(QFile::encodeName(dir.root()).constData(), 0777);
    const QString target = dir.path(QStringLiteral("protected.bmp"));
    writeBytes(target, "the old content");
    ::chmod(QFile::encodeName(target).constData(), 0444);
    const bool wasRoot = ::geteuid() == 0;
    if (wasRoot) {
        ASSERT_EQ(::seteuid(65534), 0);
    }
    const std::string error = saveError([&] { pixmora::savePictureBmp(patterned(3, 3), target); });
    if (wasRoot) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_EQ(error, "File access denied: \"" + target.toStdString() + "\"");
    EXPECT_EQ(readBytes(target), "the old content");
    EXPECT_EQ(dir.entries(), QStringList{QStringLiteral("protected.bmp")});
}

TEST(SavePicture, ReadOnlyFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into every folder";
    ScratchDir dir;
    const QString locked = dir.path(QStringLiteral("locked"));
    QDir(dir.root()).mkdir(QStringLiteral("locked"));
    writeBytes(locked + QStringLiteral("/p.png"), "the old content");
    ::chmod(QFile::encodeName(locked).constData(), 0555);
    EXPECT_THAT(
        saveError([&] { pixmora::savePicturePng(patterned(3, 3), locked + QStringLiteral("/p.png")); }),
        HasSubstr("File access denied"));
    EXPECT_EQ(readBytes(locked + QStringLiteral("/p.png")), "the old content");
    EXPECT_EQ(QDir(locked).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("p.png")});
    ::chmod(QFile::encodeName(locked).constData(), 0755);
}

TEST(FormatForFileName, EndingDecidesLetterCaseIgnored) {
    using F = PictureFormat;
    const std::pair<const char*, F> cases[] = {
        {"a.bmp", F::Bmp},   {"a.BMP", F::Bmp},         {"a.jpg", F::Jpeg},      {"x/a.JpEg", F::Jpeg},
        {"a.png", F::Png},   {"a.PNG", F::Png},         {"a.gif", F::Unknown},   {"a.jpe", F::Unknown},
        {"bmp", F::Unknown}, {"a.bmp.txt", F::Unknown}, {"d.png/a", F::Unknown}, {"", F::Unknown},
    };
    for (const auto& [name, format] : cases)
        EXPECT_EQ(pixmora::formatForFileName(QString::fromLatin1(name)), format) << name;
}

TEST(ConvertPicture, SameFileAndErrorsAsLoadThenSave) {
    ScratchDir dir;
    // A picture of many rows, so that the encoder catches up with the decoder again and again.
    const QString tall = dir.path(QStringLiteral("tall.jpg"));
    writeBytes(tall, samples::jpeg(patterned(97, 1203), samples::JpegKind::Baseline));
    const QString sources[] = {tall,
                               sample("logo.jpg"),
                               sample("logo-progressive.jpg"),
                               sample("logo-gray.jpg"),
                               sample("logo-cmyk.jpg"),
                               sample("logo-exif6.jpg"),
                               sample("rose.bmp")};
    const QString expected = dir.path(QStringLiteral("expected"));
    const QString converted = dir.path(QStringLiteral("converted"));
    for (const QString& source : sources)
        for (const PictureFormat format : {PictureFormat::Jpeg, PictureFormat::Bmp})
            for (const bool twoThreads : {false, true}) {
                pixmora::savePicture(loadPicture(source), expected, format, 75);
                pixmora::convertPicture(source, converted, format, 75, {}, twoThreads);
                EXPECT_EQ(readBytes(converted), readBytes(expected))
                    << source.toStdString() << (twoThreads ? ", two threads" : ", one thread");
            }

    // A picture cut short: the loader's error, and the file that was there stays as it was.
    const QByteArray whole = readBytes(tall);
    const QString cut = dir.path(QStringLiteral("cut.jpg"));
    writeBytes(cut, whole.left(whole.size() * 2 / 3));
    const std::string loadMessage = saveError([&] { loadPicture(cut); });
    ASSERT_THAT(loadMessage, HasSubstr("Damaged JPEG picture"));
    writeBytes(converted, "old");
    for (const bool twoThreads : {false, true}) {
        EXPECT_EQ(saveError([&] {
                      pixmora::convertPicture(cut, converted, PictureFormat::Jpeg, 75, {}, twoThreads);
                  }),
                  loadMessage);
        EXPECT_EQ(readBytes(converted), "old");
    }
    // Larger than the limit: refused from the header, nothing written.
    EXPECT_THAT(
        saveError([&] { pixmora::convertPicture(tall, converted, PictureFormat::Jpeg, 75, {1000}, true); }),
        HasSubstr("too large"));
    EXPECT_EQ(readBytes(converted), "old");
}
