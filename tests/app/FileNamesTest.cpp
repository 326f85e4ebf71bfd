#include "FileNames.h"
#include "Errors.h"

#include <gtest/gtest.h>

TEST(FileNames, ChangeFileExtReplacesOnlyTheLastPartsEnding) {
    EXPECT_EQ(changeFileExt("praia.bmp", ".jpg"), "praia.jpg");
    EXPECT_EQ(changeFileExt("praia", ".jpg"), "praia.jpg");
    EXPECT_EQ(changeFileExt("/a.b/praia", ".jpg"), "/a.b/praia.jpg");
    EXPECT_EQ(changeFileExt("/f/praia.tar.gz", ".png"), "/f/praia.tar.png");
    EXPECT_EQ(changeFileExt("praia.", ".bmp"), "praia.bmp");
}

TEST(FileNames, WriterFollowsTheEndingWhateverItsCase) {
    using pixmora::PictureFormat;
    EXPECT_EQ(writerForFileName("/f/a.jpg"), PictureFormat::Jpeg);
    EXPECT_EQ(writerForFileName("/f/a.JPG"), PictureFormat::Jpeg);
    EXPECT_EQ(writerForFileName("/f/a.Jpeg"), PictureFormat::Jpeg);
    EXPECT_EQ(writerForFileName("/f/a.BMP"), PictureFormat::Bmp);
    EXPECT_EQ(writerForFileName("/f/a.png"), PictureFormat::Png);
    for (const char* name : {"/f/a.gif", "/f/a.ico", "/f/a", "/f/ajpg", "/f/a.jpg.txt"})
        EXPECT_THROW(writerForFileName(name), pixmora::Error) << name;
}
