// Saves that are stopped half-way, by a signal or by a kill, and saves through symbolic links: the old
// file stays whole and no temporary file is left behind.

#include "ChildProcess.h"
#include "FileTestSupport.h"

#include "Errors.h"
#include "PictureFile.h"
#include "SafeFile.h"
#include "TextFile.h"

#include <gmock/gmock.h>

#include <csignal>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace filetest;
using pixmora::loadPicture;
using pixmora::SafeFile;
using testing::HasSubstr;

namespace {

// Whether the unnamed temporary is used (the file system supports it) or the named one forced.
class StoppedSave : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { SafeFile::setUnnamedTemporaries(GetParam()); }
    void TearDown() override { SafeFile::setUnnamedTemporaries(true); }
};

// A save of a megabyte that `stop` interrupts after half of it.
std::string saveStoppedBy(const QString& path, const std::function<void()>& stop) {
    const QByteArray chunk(64 * 1024, 'n');
    pixmora::writeAtomically(path, [&](SafeFile& file) {
        for (int i = 0; i < 16; ++i) {
            if (i == 8)
                stop();
            file.write(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        }
    });
    return "saved";
}

} // namespace

TEST_P(StoppedSave, ByAStoppingSignalLeavesTheOldFileAndNothingElse) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        ScratchDir dir;
        const QString target = dir.path(QStringLiteral("picture.bmp"));
        writeBytes(target, "the old content");
        const ChildOutcome child = inChild([&] { return saveStoppedBy(target, [&] { ::raise(signal); }); });
        EXPECT_EQ(child.signal, signal);
        EXPECT_EQ(readBytes(target), "the old content");
        EXPECT_EQ(dir.entries(), QStringList{QStringLiteral("picture.bmp")});
    }
}

// SIGKILL cannot be caught: an unnamed temporary vanishes with the process, a named one stays until the
// next save into its folder.
TEST_P(StoppedSave, ByAKillLeavesTheOldFileAndAnythingLeftIsClearedByTheNextSave) {
    ScratchDir dir;
    const QString target = dir.path(QStringLiteral("picture.bmp"));
    writeBytes(target, "the old content");
    const ChildOutcome child = inChild([&] { return saveStoppedBy(target, [] { ::raise(SIGKILL); }); });
    EXPECT_EQ(child.signal, SIGKILL);
    EXPECT_EQ(readBytes(target), "the old content");
    QStringList left = dir.entries();
    left.removeOne(QStringLiteral("picture.bmp"));
    if (GetParam()) {
        EXPECT_EQ(left, QStringList{});
    } else {
        ASSERT_EQ(left.size(), 1);
        EXPECT_TRUE(SafeFile::isTemporaryName(left[0].toUtf8())) << left[0].toStdString();
        EXPECT_TRUE(left[0].startsWith(QStringLiteral(".picture.bmp.pixmora-"))) << left[0].toStdString();
    }
    pixmora::writeTextFile(dir.path(QStringLiteral("other.txt")), {QStringLiteral("x")});
    EXPECT_EQ(dir.entries(), (QStringList{QStringLiteral("other.txt"), QStringLiteral("picture.bmp")}));
}

INSTANTIATE_TEST_SUITE_P(Temporaries, StoppedSave, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

// Only files that are plainly a dead save's of ours go: the name has our form, its process is gone and
// no one holds its lock.
TEST(StaleTemporaries, OnlyOurOwnAreCleared) {
    ScratchDir dir;
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const QString deadName = QStringLiteral(".a.bmp.pixmora-%1-AbC123").arg(dead);
    const QString kept[] = {
        QStringLiteral(".a.bmp.pixmora-1-AbC123"),             // its process lives
        QStringLiteral(".b.bmp.pixmora-%1-AbC12").arg(dead),   // suffix too short
        QStringLiteral("c.bmp.pixmora-%1-AbC123").arg(dead),   // not hidden
        QStringLiteral(".d.bmp.pixmora-%1-AbC12!").arg(dead),  // not letters and digits
        QStringLiteral(".e.bmp.pixmora-%1-LoCKed").arg(dead),  // someone holds its lock
        QStringLiteral(".f.bmp.pixmora-x%1-AbC123").arg(dead), // no process number
    };
    writeBytes(dir.path(deadName), "debris");
    for (const QString& name : kept)
        writeBytes(dir.path(name), "not ours to remove");
    const int held = ::open(QFile::encodeName(dir.path(kept[4])).constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    pixmora::writeTextFile(dir.path(QStringLiteral("a.bmp")), {QStringLiteral("x")});
    ::close(held);
    QStringList expected(std::begin(kept), std::end(kept));
    expected << QStringLiteral("a.bmp");
    expected.sort();
    EXPECT_EQ(dir.entries(), expected);
}

TEST(SaveThroughLinks, ADanglingLinkGetsItsFileAndStaysALink) {
    ScratchDir dir;
    QDir(dir.root()).mkdir(QStringLiteral("pictures"));
    const QString link = dir.path(QStringLiteral("link.bmp"));
    const QString chained = dir.path(QStringLiteral("chained.bmp"));
    ASSERT_TRUE(QFile::link(QStringLiteral("pictures/new.bmp"), link)); // relative, dangling
    ASSERT_TRUE(QFile::link(QStringLiteral("link.bmp"), chained));
    const Bitmap picture = patterned(5, 4);

    pixmora::savePictureBmp(picture, link);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(loadPicture(dir.path(QStringLiteral("pictures/new.bmp"))) == picture);

    // Through a chain of links, onto the file that now exists.
    pixmora::savePicturePng(patterned(2, 2), chained);
    EXPECT_TRUE(QFileInfo(chained).isSymLink());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(loadPicture(dir.path(QStringLiteral("pictures/new.bmp"))) == patterned(2, 2));
    EXPECT_EQ(QDir(dir.path(QStringLiteral("pictures"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("new.bmp")});

    // A link into a folder that does not exist: nothing is made, the link is untouched.
    const QString lost = dir.path(QStringLiteral("lost.bmp"));
    ASSERT_TRUE(QFile::link(QStringLiteral("missing/new.bmp"), lost));
    try {
        pixmora::savePictureBmp(picture, lost);
        ADD_FAILURE() << "saved";
    } catch (const pixmora::Error& e) {
        EXPECT_EQ(std::string(e.what()), "File not found: \"" + lost.toStdString() + "\"");
    }
    EXPECT_EQ(QFileInfo(lost).symLinkTarget(), dir.path(QStringLiteral("missing/new.bmp")));
}

TEST(SaveThroughLinks, ALoopOfLinksIsAnError) {
    ScratchDir dir;
    ASSERT_TRUE(QFile::link(QStringLiteral("b.bmp"), dir.path(QStringLiteral("a.bmp"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("a.bmp"), dir.path(QStringLiteral("b.bmp"))));
    EXPECT_THROW(pixmora::savePictureBmp(patterned(1, 1), dir.path(QStringLiteral("a.bmp"))), pixmora::Error);
    EXPECT_EQ(dir.entries(), (QStringList{QStringLiteral("a.bmp"), QStringLiteral("b.bmp")}));
}
