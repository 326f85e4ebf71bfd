#include "EffectDialog.h"

#include "EffectTable.h"
#include "OrImage.h"
#include "WindowGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <array>

using pixmora::EffectDescription;

namespace {

EditedDocument* g_document = nullptr;
// The dialogs by number: TForm2 is g_dialogs[2].
std::array<EffectDialog*, 18> g_dialogs{};

TOrImage* documentImage() {
    return g_document ? g_document->image() : nullptr;
}

void writeToDocument(const EffectDescription& effect, int value) {
    if (TOrImage* image = documentImage())
        image->writeEffect(effect, value);
}

} // namespace

void setEditedDocument(EditedDocument* document) {
    g_document = document;
}

EditedDocument* editedDocument() {
    return g_document;
}

EffectDialog::EffectDialog(int number, QWidget* owner) : QWidget(owner, Qt::Dialog), m_number(number) {
    g_dialogs.at(static_cast<std::size_t>(number)) = this;
}

EffectDialog::~EffectDialog() {
    g_dialogs[static_cast<std::size_t>(m_number)] = nullptr;
}

EffectDialog* EffectDialog::find(int number) {
    return number >= 0 && number < static_cast<int>(g_dialogs.size())
               ? g_dialogs[static_cast<std::size_t>(number)]
               : nullptr;
}

QSlider* EffectDialog::bar(const EffectDescription& effect) const {
    for (const auto& [slider, e] : m_bars)
        if (e == &effect)
            return slider;
    return nullptr;
}

void EffectDialog::finishLayout() {
    for (const EffectDescription& effect : pixmora::Effects)
        if (effect.dialog == m_number)
            if (auto* slider = findChild<QSlider*>(QLatin1String(effect.bar)))
                m_bars.emplace_back(slider, &effect);
    std::sort(m_bars.begin(), m_bars.end(),
              [](const auto& a, const auto& b) { return a.second->cancelStep < b.second->cancelStep; });

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The resizable dialogs' sizes are outer sizes; the layouts hold their client areas in a standard frame.
    if (minimumSize() != maximumSize())
        m_outerSize = size() + standardFrameSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void EffectDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // By the first showing the window manager has decorated the main window, whose frame tells this one's.
    if (m_outerSize.isValid()) {
        setOuterSize(this, m_outerSize);
        m_outerSize = QSize();
    }
}

void EffectDialog::barChanged(QSlider* bar) {
    const auto found =
        std::find_if(m_bars.begin(), m_bars.end(), [bar](const auto& b) { return b.first == bar; });
    if (found != m_bars.end())
        writeToDocument(*found->second, bar->value());
}

void EffectDialog::apply() {
    if (g_document)
        g_document->backOnTop();
    close();
}

void EffectDialog::cancel() {
    if (TOrImage* image = documentImage()) {
        image->ResetEffects();
        for (const auto& [slider, effect] : m_bars)
            slider->setValue(effect->get(*image));
    }
    if (g_document)
        g_document->backOnTop();
    close();
}

void updateAllEffectBars(TOrImage& image) {
    for (const EffectDescription* effect : pixmora::barsInDialogOrder())
        if (const EffectDialog* dialog = EffectDialog::find(effect->dialog))
            if (QSlider* slider = dialog->bar(*effect))
                slider->setValue(effect->get(image));
}
