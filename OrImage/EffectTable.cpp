#include "EffectTable.h"

namespace pixmora {

void copyEffectValues(const OrImageEngine& from, OrImageEngine& to) {
    for (const EffectDescription& effect : Effects)
        if (effect.group == EffectGroup::None)
            effect.set(to, effect.get(from));
    for (const EffectGroup group : {EffectGroup::Noise, EffectGroup::PosterizeSolorize, EffectGroup::Area}) {
        const EffectDescription* on = nullptr;
        for (const EffectDescription& effect : Effects) {
            if (effect.group != group)
                continue;
            if (effect.get(from) != effect.neutral)
                on = &effect;
            else
                effect.set(to, effect.get(from));
        }
        if (on)
            on->set(to, on->get(from));
    }
}

} // namespace pixmora
