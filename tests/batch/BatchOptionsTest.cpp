#include "BatchTool.h"
#include "EffectTable.h"

#include <gmock/gmock.h>

using namespace pixmora::batch;
using testing::HasSubstr;

namespace {

Command parse(std::initializer_list<const char*> args) {
    QStringList list;
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return parseCommandLine(list);
}

std::string usageError(std::initializer_list<const char*> args) {
    try {
        parse(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted";
    return {};
}

} // namespace

TEST(BatchOptions, EffectWritesKeepTheirOrderAndBothForms) {
    const Command c = parse({"--posterize", "8", "in.jpg", "--solorize=100", "--grayscale", "out.png",
                             "--brightness", "-5", "--contrast=-300", "--posterize=+3", "--tile", "007"});
    EXPECT_EQ(c.action, Command::Action::Run);
    const std::vector<EffectWrite> expected = {{"posterize", 8},   {"solorize", 100},  {"grayscale", 1},
                                               {"brightness", -5}, {"contrast", -300}, {"posterize", 3},
                                               {"tile", 7}};
    EXPECT_EQ(c.writes, expected);
    EXPECT_EQ(c.inputs, QStringList{"in.jpg"});
    EXPECT_EQ(c.output, "out.png");
    EXPECT_FALSE(c.outDirMode);
    EXPECT_EQ(c.quality, 80);
}

TEST(BatchOptions, NumbersAreStrictDecimal32BitIntegers) {
    EXPECT_EQ(parse({"--contrast", "2147483647", "a", "b.bmp"}).writes[0].value, 2147483647);
    EXPECT_EQ(parse({"--contrast=-2147483648", "a", "b.bmp"}).writes[0].value, -2147483647 - 1);
    EXPECT_EQ(parse({"--contrast", "-0", "a", "b.bmp"}).writes[0].value, 0);
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999999"})
        EXPECT_THAT(usageError({"--contrast", bad, "a", "b.bmp"}), HasSubstr("out of range")) << bad;
    for (const char* bad : {"", "12a", " 5", "5 ", "0x10", "1e3", "1.5", "-", "+", "--5", "--contrast", "٣"})
        EXPECT_EQ(usageError({"--contrast", bad, "a", "b.bmp"}),
                  "invalid value \"" + std::string(bad) + "\" for --contrast: expected a whole number");
    EXPECT_THAT(usageError({"--contrast=", "a", "b.bmp"}), HasSubstr("expected a whole number"));
}

TEST(BatchOptions, BadOptionsAndOperands) {
    EXPECT_EQ(usageError({"--blur", "3", "a", "b.bmp"}), "unknown option \"--blur\"");
    EXPECT_EQ(usageError({"--brightnes=3", "a", "b.bmp"}), "unknown option \"--brightnes\"");
    EXPECT_EQ(usageError({"-b", "a", "b.bmp"}), "unknown option \"-b\"");
    EXPECT_EQ(usageError({"--invert=1", "a", "b.bmp"}), "option --invert takes no value");
    EXPECT_EQ(usageError({"a", "b.bmp", "--mosaic"}), "option --mosaic needs a value");
    EXPECT_EQ(usageError({}), "missing INPUT and OUTPUT");
    EXPECT_EQ(usageError({"--invert", "a.jpg"}), "missing OUTPUT after \"a.jpg\"");
    EXPECT_THAT(usageError({"a", "b", "c.png"}), HasSubstr("too many files"));
    EXPECT_EQ(usageError({"a.jpg", "b.gif"}),
              "Unknown picture format for \"b.gif\": use .bmp, .jpg, .jpeg or .png");
    EXPECT_THAT(usageError({"a.jpg", "b"}), HasSubstr("Unknown picture format"));
    EXPECT_THAT(usageError({"--format", "png", "a.jpg", "b.png"}), HasSubstr("only applies with --out-dir"));
}

TEST(BatchOptions, QualityOutDirAndFormat) {
    EXPECT_EQ(parse({"--quality", "1", "a", "b.jpg"}).quality, 1);
    EXPECT_EQ(parse({"--quality=100", "a", "b.jpg"}).quality, 100);
    for (const char* bad : {"0", "101", "-80"})
        EXPECT_EQ(usageError({"--quality", bad, "a", "b.jpg"}),
                  "invalid value \"" + std::string(bad) + "\" for --quality: expected 1 to 100");

    const Command c = parse({"a.jpg", "--out-dir", "out", "b.png", "--format=JPEG", "c.gif"});
    EXPECT_TRUE(c.outDirMode);
    EXPECT_EQ(c.outDir, "out");
    EXPECT_EQ(c.format, "jpg");
    EXPECT_EQ(c.inputs, (QStringList{"a.jpg", "b.png", "c.gif"}));
    EXPECT_EQ(parse({"--out-dir=o", "a"}).format, "");
    EXPECT_EQ(usageError({"--out-dir", "o", "--format", "gif", "a"}),
              "invalid value \"gif\" for --format: expected bmp, jpg or png");
    EXPECT_THAT(usageError({"--out-dir", "o"}), HasSubstr("missing INPUT"));
    EXPECT_THAT(usageError({"--out-dir="}), HasSubstr("needs a folder"));
}

TEST(BatchOptions, MaxMegapixels) {
    EXPECT_EQ(parse({"a", "b.jpg"}).maxPixels, 0);
    EXPECT_EQ(parse({"--max-megapixels", "1", "a", "b.jpg"}).maxPixels, 1'000'000);
    EXPECT_EQ(parse({"a", "b.jpg", "--max-megapixels=2147483647"}).maxPixels, 2147483647LL * 1'000'000);
    for (const char* bad : {"0", "-3"})
        EXPECT_EQ(usageError({"--max-megapixels", bad, "a", "b.jpg"}),
                  "invalid value \"" + std::string(bad) + "\" for --max-megapixels: expected 1 or more");
    EXPECT_THAT(usageError({"--max-megapixels", "1.5", "a", "b.jpg"}), HasSubstr("expected a whole number"));
}

TEST(BatchOptions, Jobs) {
    EXPECT_EQ(parse({"a", "b.jpg"}).jobs, 0);
    EXPECT_EQ(parse({"--jobs", "3", "--out-dir", "o", "a"}).jobs, 3);
    EXPECT_EQ(parse({"--jobs=1", "a", "b.jpg"}).jobs, 1);
    for (const char* bad : {"0", "-2"})
        EXPECT_EQ(usageError({"--jobs", bad, "a", "b.jpg"}),
                  "invalid value \"" + std::string(bad) + "\" for --jobs: expected 1 or more");
    EXPECT_THAT(usageError({"--jobs", "two", "a", "b.jpg"}), HasSubstr("expected a whole number"));
    EXPECT_THAT(usageError({"a", "b.jpg", "--jobs"}), HasSubstr("--jobs needs a value"));
}

TEST(BatchOptions, DoubleDashHelpAndVersion) {
    const Command c = parse({"--invert", "--", "-in.bmp", "--out.png"});
    EXPECT_EQ(c.inputs, QStringList{"-in.bmp"});
    EXPECT_EQ(c.output, "--out.png");
    EXPECT_EQ(parse({"-", "x.png"}).inputs, QStringList{"-"});
    EXPECT_EQ(parse({"--brightness", "3", "--help", "--nonsense"}).action, Command::Action::Help);
    EXPECT_EQ(parse({"-h"}).action, Command::Action::Help);
    EXPECT_EQ(parse({"--version"}).action, Command::Action::Version);
}

TEST(BatchOptions, EveryEffectOfTheTableHasItsOptionWrittenThroughItsSetter) {
    const QString help = usageText();
    for (const pixmora::EffectDescription& effect : pixmora::Effects) {
        SCOPED_TRACE(effect.batchOption);
        const std::string option = std::string("--") + effect.batchOption;
        const Command c = effect.isSwitch ? parse({option.c_str(), "in.png", "out.png"})
                                          : parse({option.c_str(), "7", "in.png", "out.png"});
        ASSERT_EQ(c.writes.size(), 1u);
        pixmora::OrImageEngine engine;
        applyWrite(engine, c.writes[0]);
        EXPECT_EQ(effect.get(engine), effect.isSwitch ? 1 : 7);
        EXPECT_TRUE(help.contains(QString::fromStdString(option))) << "the help lists it";
        if (effect.isSwitch) {
            EXPECT_THAT(usageError({(option + "=1").c_str(), "in.png", "out.png"}),
                        HasSubstr("takes no value"));
        }
    }
}
