#pragma once

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

// A member field of a class, either int or bool, read and written as int.
template <typename Class> struct IntOrBoolField {
    int Class::*intField = nullptr;
    bool Class::*boolField = nullptr;

    constexpr IntOrBoolField(int Class::*field) : intField(field) {}
    constexpr IntOrBoolField(bool Class::*field) : boolField(field) {}
    constexpr int get(const Class& object) const { return intField ? object.*intField : object.*boolField; }
    constexpr void set(Class& object, int value) const {
        if (intField)
            object.*intField = value;
        else
            object.*boolField = value != 0;
    }
};

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
    // What the setter stores at most: INT_MIN and INT_MAX mean no limit on that side. Mosaic and tile
    // are further capped by the size of the picture.
    int lowest;
    int highest;
    int neutral;
    const char* batchOption; // pixmora-batch's option, without the dashes
    const char* menuCommand; // the main window's menu action that opens its dialog or switches it on
    int dialog;              // n of the effect dialog TFormn that holds its bar, 0 for a switch
    const char* bar;         // the bar's object name in that dialog, nullptr for a switch
    int barMin, barMax;      // the bar's own range, which the bar clamps its position to
    int barFrequency;        // spacing of the bar's tick marks
    int barRow;              // 0 for the upper bar of its dialog, 1 for the lower one
    int cancelStep;          // 0 when its dialog's Cancel sets this bar first, 1 when second
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
    static constexpr int Count = 19;

    // In the engine's declaration order.
    static constexpr std::array<EffectDescription, Count> all = {{
        {"PicBrightness", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicBrightness>,
         effect_access::set<&E::setPicBrightness>, &E::m_brightness, -255, 255, 0, "brightness", "Color1", 2,
         "TrackBarBrightness", -255, 255, 5, 0, 0},
        {"PicContrast", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicContrast>,
         effect_access::set<&E::setPicContrast>, &E::m_contrast, -255, INT_MAX, 0, "contrast", "Color1", 2,
         "TrackBarContrast", -255, 2550, 10, 1, 1},
        {"PicGrayScale", EffectKind::Tone, true, EffectGroup::None, effect_access::get<&E::PicGrayScale>,
         effect_access::set<&E::setPicGrayScale>, &E::m_grayScale, 0, 1, 0, "grayscale", "EscaladeCinza1", 0,
         nullptr, 0, 0, 0, 0, 0},
        {"PicLightness", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicLightness>,
         effect_access::set<&E::setPicLightness>, &E::m_lightness, INT_MIN, 255, 0, "lightness",
         "LightnessDarkness1", 8, "TrackBarLightness", -2550, 255, 10, 1, 1},
        {"PicDarkness", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicDarkness>,
         effect_access::set<&E::setPicDarkness>, &E::m_darkness, INT_MIN, 255, 0, "darkness",
         "LightnessDarkness1", 8, "TrackBarDarkness", -2550, 255, 10, 0, 0},
        {"PicSaturation", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicSaturation>,
         effect_access::set<&E::setPicSaturation>, &E::m_saturation, -255, INT_MAX, 0, "saturation",
         "Saturao1", 4, "TrackBarSaturation", -255, 2550, 10, 0, 0},
        {"PicSplitlight", EffectKind::Tone, false, EffectGroup::None, effect_access::get<&E::PicSplitlight>,
         effect_access::set<&E::setPicSplitlight>, &E::m_splitlight, 0, 10, 0, "splitlight", "Splitlight1", 9,
         "TrackBarSplitlight", 0, 10, 1, 0, 0},
        {"PicInvert", EffectKind::Tone, true, EffectGroup::None, effect_access::get<&E::PicInvert>,
         effect_access::set<&E::setPicInvert>, &E::m_invert, 0, 1, 0, "invert", "InverterCores1", 0, nullptr,
         0, 0, 0, 0, 0},
        {"PicColorNoise", EffectKind::Noise, false, EffectGroup::Noise, effect_access::get<&E::PicColorNoise>,
         effect_access::set<&E::setPicColorNoise>, &E::m_colorNoise, 0, INT_MAX, 0, "color-noise",
         "ColorMonoNoise1", 10, "TrackBarColorNoise", 0, 5000, 25, 0, 1},
        {"PicMonoNoise", EffectKind::Noise, false, EffectGroup::Noise, effect_access::get<&E::PicMonoNoise>,
         effect_access::set<&E::setPicMonoNoise>, &E::m_monoNoise, 0, INT_MAX, 0, "mono-noise",
         "ColorMonoNoise1", 10, "TrackBarMonoNoise", 0, 5000, 25, 1, 0},
        {"PicPosterize", EffectKind::Tone, false, EffectGroup::PosterizeSolorize,
         effect_access::get<&E::PicPosterize>, effect_access::set<&E::setPicPosterize>, &E::m_posterize, 0,
         INT_MAX, 0, "posterize", "PosterizeSolarize1", 11, "TrackBarPosterize", 0, 500, 2, 0, 1},
        {"PicSolorize", EffectKind::Tone, false, EffectGroup::PosterizeSolorize,
         effect_access::get<&E::PicSolorize>, effect_access::set<&E::setPicSolorize>, &E::m_solorize, 0, 255,
         0, "solorize", "PosterizeSolarize1", 11, "TrackBarSolorize", 0, 255, 2, 1, 0},
        {"PicEmboss", EffectKind::Area, true, EffectGroup::Area, effect_access::get<&E::PicEmboss>,
         effect_access::set<&E::setPicEmboss>, &E::m_emboss, 0, 1, 0, "emboss", "Emboss1", 0, nullptr, 0, 0,
         0, 0, 0},
        {"PicMosaic", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicMosaic>,
         effect_access::set<&E::setPicMosaic>, &E::m_mosaic, 0, INT_MAX, 0, "mosaic", "Mosaico1", 12,
         "TrackBarMosaic", 0, 100, 1, 0, 0},
        {"PicSplitBlur", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicSplitBlur>,
         effect_access::set<&E::setPicSplitBlur>, &E::m_splitBlur, 0, 255, 0, "split-blur", "SplitBlur1", 13,
         "TrackBarSplitBlur", 0, 255, 5, 0, 0},
        {"PicGaussianBlur", EffectKind::Area, false, EffectGroup::Area,
         effect_access::get<&E::PicGaussianBlur>, effect_access::set<&E::setPicGaussianBlur>,
         &E::m_gaussianBlur, 0, 50, 0, "gaussian-blur", "GaussianBlur1", 14, "TrackBarGaussianBlur", 0, 50, 1,
         0, 0},
        {"PicAntiAlias", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicAntiAlias>,
         effect_access::set<&E::setPicAntiAlias>, &E::m_antiAlias, 0, 50, 0, "antialias", "Antialias1", 15,
         "TrackBarAntiAlias", 0, 50, 1, 0, 0},
        {"PicTrace", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicTrace>,
         effect_access::set<&E::setPicTrace>, &E::m_trace, 0, 10, 0, "trace", "race1", 16, "TrackBarTrace", 0,
         10, 1, 0, 0},
        {"PicTile", EffectKind::Area, false, EffectGroup::Area, effect_access::get<&E::PicTile>,
         effect_access::set<&E::setPicTile>, &E::m_tile, 0, INT_MAX, 0, "tile", "ile1", 17, "TrackBarTile", 0,
         100, 1, 0, 0},
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
    return effect.bar != nullptr;
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
            if (a->dialog < b->dialog || (a->dialog == b->dialog && a->barRow <= b->barRow))
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
        if (hasBar(e) && bar == e.bar)
            return &e;
    return nullptr;
}

// Gives `to` every effect value of `from` through the setters. Within each group of effects that exclude
// each other at most one member is on; the members that are off go first and the one that is on last, so
// that no partner's setter switches it off again.
void copyEffectValues(const OrImageEngine& from, OrImageEngine& to);

} // namespace pixmora
