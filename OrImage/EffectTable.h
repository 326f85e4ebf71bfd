#pragma once

#include "Effects.h"
#include "OrImageEngine.h"

#include <array>
#include <climits>
#include <cstddef>
#include <string_view>
#include <type_traits>

namespace pixmora {

// What an effect works on: a per-pixel tone step of the render, a generated noise layer, or a
// neighbourhood effect kept in AreaResult.
enum class EffectKind { Tone, Noise, Area };

// The members of one group exclude each other: the setter of any member switches the others off,
// whatever the value it is given.
enum class EffectGroup { None, Noise, PosterizeSolorize, Area };

// A member field of a class, either int or bool, read and written as int; or none.
template <typename Class> struct IntOrBoolField {
    int Class::*intField = nullptr;
    bool Class::*boolField = nullptr;

    constexpr IntOrBoolField() = default;
    constexpr IntOrBoolField(int Class::*field) : intField(field) {}
    constexpr IntOrBoolField(bool Class::*field) : boolField(field) {}
    constexpr explicit operator bool() const { return intField || boolField; }
    constexpr int get(const Class& object) const { return intField ? object.*intField : object.*boolField; }
    constexpr void set(Class& object, int value) const {
        if (intField)
            object.*intField = value;
        else
            object.*boolField = value != 0;
    }
};

// The bar that moves an effect in its effect dialog.
struct EffectBar {
    int dialog = 0;             // n of the dialog TFormn, 0 when no bar moves the effect
    const char* name = nullptr; // the bar's object name in that dialog
    int min = 0, max = 0;       // the bar's own range, which it clamps its position to
    int frequency = 0;          // spacing of its tick marks
    int row = 0;                // 0 for the upper bar of its dialog, 1 for the lower one
    int cancelStep = 0;         // 0 when its dialog's Cancel sets this bar first, 1 when second
};

constexpr EffectBar Bar(int dialog, const char* name, int min, int max, int frequency, int row,
                        int cancelStep) {
    return {dialog, name, min, max, frequency, row, cancelStep};
}

// One of the nineteen effects, with everything the program needs to know to list, copy, reset, wire and
// offer it. Every list of effects in the program is derived from Effects below.
struct EffectDescription {
    const char* property; // the getter's name and the property's name; the setter is "set" + property
    EffectKind kind;
    bool isSwitch; // an on/off value: a menu command switches it on, no bar moves it
    EffectGroup group;
    int (*get)(const OrImageEngine&);
    void (*set)(OrImageEngine&, int); // a switch takes any non-zero value as on
    // The engine's own field, for its bulk operations that must not render (ResetEffects).
    IntOrBoolField<OrImageEngine> stored;
    // Where a tone effect's value goes in the settings of the render's per-pixel pass; none for the others.
    IntOrBoolField<ToneSettings> tone;
    // What the setter stores at most: INT_MIN and INT_MAX mean no limit on that side. Mosaic and tile
    // are further capped by the size of the picture.
    int lowest;
    int highest;
    int neutral;
    const char* batchOption; // pixmora-batch's option, without the dashes
    const char* menuCommand; // the main window's menu action that opens its dialog or switches it on
    EffectBar bar;
};

namespace effect_access {

template <auto Getter> int get(const OrImageEngine& engine) {
    return static_cast<int>((engine.*Getter)());
}

template <typename> struct SetterArgument;
template <typename T> struct SetterArgument<void (OrImageEngine::*)(T)> { using type = T; };

template <auto Setter> void set(OrImageEngine& engine, int value) {
    if constexpr (std::is_same_v<typename SetterArgument<decltype(Setter)>::type, bool>)
        (engine.*Setter)(value != 0);
    else
        (engine.*Setter)(value);
}

} // namespace effect_access

// The table itself. A class of its own because the engine lets it name its private fields.
struct EffectTable {
    using E = OrImageEngine;
    using T = ToneSettings;
    static constexpr IntOrBoolField<ToneSettings> NoTone{};
    static constexpr EffectBar NoBar{};
    static constexpr int Count = 19;

    // In the engine's declaration order: property, kind, switch, exclusion group, getter, setter, field,
    // tone setting, lowest and highest value stored, neutral value, batch option, menu command, bar
    // (dialog, name, range, tick spacing, row, Cancel step).
    static constexpr std::array<EffectDescription, Count> all = {{
        {"PicBrightness", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicBrightness>,
         effect_access::set<&E::setPicBrightness>, &E::m_brightness, &T::brightness, -255, 255, 0,
         "brightness", "Color1", Bar(2, "TrackBarBrightness", -255, 255, 5, 0, 0)},
        {"PicContrast", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicContrast>,
         effect_access::set<&E::setPicContrast>, &E::m_contrast, &T::contrast, -255, INT_MAX, 0, "contrast",
         "Color1", Bar(2, "TrackBarContrast", -255, 2550, 10, 1, 1)},
        {"PicGrayScale", EffectKind::Tone, true, EffectGroup::None, effect_access::get<&E::PicGrayScale>,
         effect_access::set<&E::setPicGrayScale>, &E::m_grayScale, &T::grayScale, 0, 1, 0, "grayscale",
         "EscaladeCinza1", NoBar},
        {"PicLightness", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicLightness>,
         effect_access::set<&E::setPicLightness>, &E::m_lightness, &T::lightness, INT_MIN, 255, 0,
         "lightness", "LightnessDarkness1", Bar(8, "TrackBarLightness", -2550, 255, 10, 1, 1)},
        {"PicDarkness", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicDarkness>,
         effect_access::set<&E::setPicDarkness>, &E::m_darkness, &T::darkness, INT_MIN, 255, 0, "darkness",
         "LightnessDarkness1", Bar(8, "TrackBarDarkness", -2550, 255, 10, 0, 0)},
        {"PicSaturation", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicSaturation>,
         effect_access::set<&E::setPicSaturation>, &E::m_saturation, &T::saturation, -255, INT_MAX, 0,
         "saturation", "Saturao1", Bar(4, "TrackBarSaturation", -255, 2550, 10, 0, 0)},
        {"PicSplitlight", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicSplitlight>,
         effect_access::set<&E::setPicSplitlight>, &E::m_splitlight, &T::splitlight, 0, 10, 0, "splitlight",
         "Splitlight1", Bar(9, "TrackBarSplitlight", 0, 10, 1, 0, 0)},
        {"PicInvert", EffectKind::Tone, true, EffectGroup::None, effect_access::get<&E::PicInvert>,
         effect_access::set<&E::setPicInvert>, &E::m_invert, &T::invert, 0, 1, 0, "invert", "InverterCores1",
         NoBar},
        {"PicColorNoise", EffectKind::Noise, false, EffectGroup::Noise, effect_access::get<&E::PicColorNoise>,
         effect_access::set<&E::setPicColorNoise>, &E::m_colorNoise, NoTone, 0, INT_MAX, 0, "color-noise",
         "ColorMonoNoise1", Bar(10, "TrackBarColorNoise", 0, 5000, 25, 0, 1)},
        {"PicMonoNoise", EffectKind::Noise, false, EffectGroup::Noise, effect_access::get<&E::PicMonoNoise>,
         effect_access::set<&E::setPicMonoNoise>, &E::m_monoNoise, NoTone, 0, INT_MAX, 0, "mono-noise",
         "ColorMonoNoise1", Bar(10, "TrackBarMonoNoise", 0, 5000, 25, 1, 0)},
        {"PicPosterize", EffectKind::Tone, false, EffectGroup::PosterizeSolorize,
         effect_access::get<&E::PicPosterize>, effect_access::set<&E::setPicPosterize>, &E::m_posterize,
         &T::posterize, 0, INT_MAX, 0, "posterize", "PosterizeSolarize1",
         Bar(11, "TrackBarPosterize", 0, 500, 2, 0, 1)},
        {"PicSolorize", EffectKind::Tone, false, EffectGroup::PosterizeSolorize,
         effect_access::get<&E::PicSolorize>, effect_access::set<&E::setPicSolorize>, &E::m_solorize,
         &T::solorize, 0, 255, 0, "solorize", "PosterizeSolarize1",
         Bar(11, "TrackBarSolorize", 0, 255, 2, 1, 0)},
        {"PicEmboss", EffectKind::Area, true, EffectGroup::Area, effect_access::get<&E::PicEmboss>,
         effect_access::set<&E::setPicEmboss>, &E::m_emboss, NoTone, 0, 1, 0, "emboss", "Emboss1", NoBar},
        {"PicMosaic", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicMosaic>,
         effect_access::set<&E::setPicMosaic>, &E::m_mosaic, NoTone, 0, INT_MAX, 0, "mosaic", "Mosaico1",
         Bar(12, "TrackBarMosaic", 0, 100, 1, 0, 0)},
        {"PicSplitBlur", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicSplitBlur>,
         effect_access::set<&E::setPicSplitBlur>, &E::m_splitBlur, NoTone, 0, 255, 0, "split-blur",
         "SplitBlur1", Bar(13, "TrackBarSplitBlur", 0, 255, 5, 0, 0)},
        {"PicGaussianBlur", EffectKind::Area, false, EffectGroup::Area,
         effect_access::get<&E::PicGaussianBlur>, effect_access::set<&E::setPicGaussianBlur>,
         &E::m_gaussianBlur, NoTone, 0, 50, 0, "gaussian-blur", "GaussianBlur1",
         Bar(14, "TrackBarGaussianBlur", 0, 50, 1, 0, 0)},
        {"PicAntiAlias", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicAntiAlias>,
         effect_access::set<&E::setPicAntiAlias>, &E::m_antiAlias, NoTone, 0, 50, 0, "antialias",
         "Antialias1", Bar(15, "TrackBarAntiAlias", 0, 50, 1, 0, 0)},
        {"PicTrace", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicTrace>,
         effect_access::set<&E::setPicTrace>, &E::m_trace, NoTone, 0, 10, 0, "trace", "race1",
         Bar(16, "TrackBarTrace", 0, 10, 1, 0, 0)},
        {"PicTile", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicTile>,
         effect_access::set<&E::setPicTile>, &E::m_tile, NoTone, 0, INT_MAX, 0, "tile", "ile1",
         Bar(17, "TrackBarTile", 0, 100, 1, 0, 0)},
    }};
};

inline constexpr const std::array<EffectDescription, EffectTable::Count>& Effects = EffectTable::all;

// --- lists derived from the table -----------------------------------------------------------------------

// The property names in declaration order.
constexpr std::array<const char*, EffectTable::Count> effectPropertyNames() {
    std::array<const char*, EffectTable::Count> names{};
    for (std::size_t i = 0; i < Effects.size(); ++i)
        names[i] = Effects[i].property;
    return names;
}

constexpr bool hasBar(const EffectDescription& effect) {
    return effect.bar.name != nullptr;
}

constexpr std::size_t BarCount = [] {
    std::size_t n = 0;
    for (const EffectDescription& e : Effects)
        n += hasBar(e) ? 1 : 0;
    return n;
}();

// Every bar of every dialog: the dialogs in the order the program creates them (by number), each one's
// bars from the top.
constexpr std::array<const EffectDescription*, BarCount> barsInDialogOrder() {
    std::array<const EffectDescription*, BarCount> bars{};
    std::size_t n = 0;
    for (const EffectDescription& e : Effects)
        if (hasBar(e))
            bars[n++] = &e;
    // Insertion sort: std::sort is constexpr too, but this keeps equal keys in table order.
    for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = i; j > 0; --j) {
            const EffectDescription* a = bars[j - 1];
            const EffectDescription* b = bars[j];
            if (a->bar.dialog < b->bar.dialog || (a->bar.dialog == b->bar.dialog && a->bar.row <= b->bar.row))
                break;
            bars[j - 1] = b;
            bars[j] = a;
        }
    return bars;
}

// A name found in the table, or nullptr.
constexpr const EffectDescription* effectByProperty(std::string_view property) {
    for (const EffectDescription& e : Effects)
        if (property == e.property)
            return &e;
    return nullptr;
}
constexpr const EffectDescription* effectByBatchOption(std::string_view option) {
    for (const EffectDescription& e : Effects)
        if (option == e.batchOption)
            return &e;
    return nullptr;
}
constexpr const EffectDescription* effectByBar(std::string_view bar) {
    for (const EffectDescription& e : Effects)
        if (hasBar(e) && bar == e.bar.name)
            return &e;
    return nullptr;
}

// Gives `to` every effect value of `from` through the setters. Within each group of effects that exclude
// each other at most one member is on; the members that are off go first and the one that is on last, so
// that no partner's setter switches it off again.
void copyEffectValues(const OrImageEngine& from, OrImageEngine& to);

} // namespace pixmora
