#include "EffectDialog.h"

#include "EffectTable.h"
#include "OrImage.h"
#include "WindowGeometry.h"

#include <QCoreApplication>
#include <QPointer>

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

// A window that never lags behind the hand.
//
// A bar reports every step the hand makes: each arrow key (and a held key repeats), each position of a
// drag, each notch of the wheel. Writing each one renders the whole picture, and on a large photo a
// neighbourhood effect renders far more slowly than the steps come, so the window would work through a
// queue of steps the hand has long left behind. Instead a step made by hand is only noted, and one queued
// write, behind the input already waiting, renders the bar's position as it stands by then. Steps that
// arrive during that render wait as input in the queue; they move the bar, and again one write follows
// them. Everything stays on the user-interface thread, so at most one render runs at a time, and once the
// queue is empty the property equals the bar's position.
//
// Positions the program sets (Cancel, the bar refresh) are written at once, as ever: the bar refresh reads
// each value after the bar before it has been written. And before any other input is handled (a click on
// Apply, on the menu or on another bar, a key elsewhere, a shortcut) the waiting step is written, so that
// every command sees the document as the bars show it.
class WaitingStep : public QObject {
public:
    void hold(QSlider* bar, const EffectDescription& effect) {
        if (m_effect && m_bar != bar)
            write();
        m_bar = bar;
        m_effect = &effect;
        QCoreApplication::instance()->installEventFilter(this);
        if (!m_queued) {
            m_queued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_queued = false;
                    pixmora::guarded([this] { write(); });
                },
                Qt::QueuedConnection);
        }
    }

    void write() {
        if (!m_effect)
            return;
        const QPointer<QSlider> bar = m_bar;
        const EffectDescription& effect = *m_effect;
        drop();
        if (bar)
            writeToDocument(effect, bar->value());
    }

    void drop() {
        m_bar = nullptr;
        m_effect = nullptr;
        QCoreApplication::instance()->removeEventFilter(this);
    }

    // Before the program writes `bar` itself: a step of another bar goes first, one of this bar is
    // superseded.
    void settleBefore(const QSlider* bar) {
        if (m_effect && m_bar != bar)
            write();
        else
            drop();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            // Input for the waiting bar itself is only more steps. (Windows see input before their
            // widgets do; only the widget it is meant for counts.)
            if (watched->isWidgetType() && watched != m_bar)
                pixmora::guarded([this] { write(); });
            break;
        case QEvent::Shortcut:
            pixmora::guarded([this] { write(); });
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QSlider> m_bar;
    const EffectDescription* m_effect = nullptr;
    bool m_queued = false;
};

WaitingStep& waitingStep() {
    static QPointer<WaitingStep> step;
    if (!step)
        step = new WaitingStep; // lives as long as the program's event loop
    return *step;
}

// The bar whose position the hand has just set, as the bar announces before it reports the change.
QPointer<QSlider> g_handBar;
int g_handPosition = 0;

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
        if (effect.bar.dialog == m_number)
            if (auto* slider = findChild<QSlider*>(QLatin1String(effect.bar.name)))
                m_bars.emplace_back(slider, &effect);
    std::sort(m_bars.begin(), m_bars.end(), [](const auto& a, const auto& b) {
        return a.second->bar.cancelStep < b.second->bar.cancelStep;
    });

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The resizable dialogs' sizes are outer sizes; the layouts hold their client areas in a standard frame.
    if (minimumSize() != maximumSize())
        m_outerSize = size() + standardFrameSize();
    moveToDesktopCenter(this);
}

void EffectDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // By the first showing the window manager has decorated the main window, whose frame tells this one's.
    if (m_outerSize.isValid()) {
        setOuterSize(this, m_outerSize);
        m_outerSize = QSize();
    }
}

void EffectDialog::watchHand(QSlider* bar) {
    // A bar announces what the hand did (key, drag, wheel, click in the channel) with its new position
    // before it reports the change; a position the program sets is not announced.
    connect(bar, &QAbstractSlider::actionTriggered, this, [bar] {
        g_handBar = bar;
        g_handPosition = bar->sliderPosition();
    });
}

void EffectDialog::barChanged(QSlider* bar) {
    // An announcement the bar did not follow with a change (the hand pushed against the end) stays behind;
    // its position then differs from any later one the program sets.
    const bool byHand = g_handBar == bar && g_handPosition == bar->value();
    g_handBar = nullptr;
    const auto found =
        std::find_if(m_bars.begin(), m_bars.end(), [bar](const auto& b) { return b.first == bar; });
    if (found == m_bars.end())
        return;
    const EffectDescription& effect = *found->second;
    if (byHand) {
        waitingStep().hold(bar, effect);
        return;
    }
    waitingStep().settleBefore(bar);
    writeToDocument(effect, bar->value());
}

void EffectDialog::apply() {
    waitingStep().write();
    if (g_document)
        g_document->backOnTop();
    close();
}

void EffectDialog::cancel() {
    // A step still waiting would only be undone by the reset.
    waitingStep().drop();
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
    // Called right after the document's effects were reset: a step still waiting is superseded.
    waitingStep().drop();
    for (const EffectDescription* effect : pixmora::barsInDialogOrder())
        if (const EffectDialog* dialog = EffectDialog::find(effect->bar.dialog))
            if (QSlider* slider = dialog->bar(*effect))
                slider->setValue(effect->get(image));
}
