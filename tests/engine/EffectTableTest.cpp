// The engine's own lists against the effect table: its reset, its setters' clamps, exclusions and
// intermediates, and the copy of every value from one component to another.
#include "EffectTable.h"
#include "EngineHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

using pixmora::EffectDescription;
using pixmora::EffectGroup;
using pixmora::EffectKind;
using pixmora::Effects;
using pixmora::OrImageEngine;

TEST(EffectTable, ResetEffectsReturnsEveryEffectToNeutral) {
    for (const EffectDescription& effect : Effects) {
        SCOPED_TRACE(effect.property);
        CountingEngine e;
        e.setPictureOriginal(testpics::photoLike(40, 30, 3));
        effect.set(e, 2);
        ASSERT_NE(effect.get(e), effect.neutral);
        e.ResetEffects();
        for (const EffectDescription& any : Effects)
            EXPECT_EQ(any.get(e), any.neutral) << any.property;
        EXPECT_EQ(e.AreaResult(), nullptr);
        EXPECT_EQ(e.NoiseLayer(), nullptr);
    }
}

TEST(EffectTable, SettersStoreWithinTheDescribedLimits) {
    for (const EffectDescription& effect : Effects) {
        SCOPED_TRACE(effect.property);
        OrImageEngine e; // no picture: no size caps
        effect.set(e, effect.isSwitch ? 0 : INT_MIN);
        EXPECT_EQ(effect.get(e), effect.lowest);
        effect.set(e, INT_MAX);
        EXPECT_EQ(effect.get(e), effect.highest);
        effect.set(e, effect.neutral);
        EXPECT_EQ(effect.get(e), effect.neutral);
    }
}

TEST(EffectTable, GroupsExcludeEachOtherAndKindsBuildTheirIntermediate) {
    const pixmora::Bitmap picture = testpics::photoLike(64, 48, 5);
    for (const EffectDescription& effect : Effects) {
        SCOPED_TRACE(effect.property);
        OrImageEngine alone;
        alone.setPictureOriginal(picture);
        effect.set(alone, 2);
        EXPECT_EQ(alone.AreaResult() != nullptr, effect.kind == EffectKind::Area);
        EXPECT_EQ(alone.NoiseLayer() != nullptr, effect.kind == EffectKind::Noise);
        for (const EffectDescription& other : Effects) {
            if (&other == &effect)
                continue;
            OrImageEngine e;
            e.setPictureOriginal(picture);
            other.set(e, 2);
            effect.set(e, 2);
            const bool partners = effect.group != EffectGroup::None && effect.group == other.group;
            EXPECT_EQ(other.get(e) == other.neutral, partners) << "then " << other.property;
        }
    }
}

TEST(EffectTable, EveryToneEffectReachesTheRender) {
    const pixmora::Bitmap picture = testpics::photoLike(32, 24, 9);
    for (const EffectDescription& effect : Effects) {
        if (effect.kind != EffectKind::Tone)
            continue;
        SCOPED_TRACE(effect.property);
        CountingEngine e;
        e.setPictureOriginal(picture);
        effect.set(e, std::min(effect.highest, 100));
        EXPECT_FALSE(shown(e) == picture);
    }
}

TEST(EffectTable, CopyEffectValuesTakesOverEveryValueWhateverTheTargetHeld) {
    std::mt19937 rng(11);
    const auto randomWrites = [&](OrImageEngine& e) {
        for (int k = 0; k < 12; ++k) {
            const EffectDescription& effect = Effects[rng() % Effects.size()];
            effect.set(e, rng() % 3 == 0 ? 0 : static_cast<int>(rng() % 200) - 50);
        }
    };
    for (int round = 0; round < 300; ++round) {
        OrImageEngine from, to;
        randomWrites(from);
        randomWrites(to);
        pixmora::copyEffectValues(from, to);
        for (const EffectDescription& effect : Effects)
            ASSERT_EQ(effect.get(to), effect.get(from)) << effect.property << " in round " << round;
    }
}
