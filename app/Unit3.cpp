#include "Unit3.h"

#include "EffectDialog.h"
#include "Forms.h"
#include "Unit1.h"
#include "WindowGeometry.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>

QImage initialPicture() {
    QImage image(400, 120, QImage::Format_RGB888);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 400, 120);
    gradient.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    gradient.setColorAt(1, QColor(0xa8, 0xd0, 0xe6));
    painter.fillRect(image.rect(), gradient);
    QFont font = painter.font();
    font.setPixelSize(44);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Pixmora"));
    return image;
}

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    ui.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    m_caption = windowTitle();
    setOuterSize(this, QSize(800, 485));
    setAcceptDrops(true);
    move(0, 67);
    ui.OrImage1->setPictureOriginal(initialPicture());
    ui.OrImage1->installEventFilter(this);
    fitScrollRange();
    notopo();
    setEditedDocument(this);
}

TForm3::~TForm3() {
    if (editedDocument() == this)
        setEditedDocument(nullptr);
}

void TForm3::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // The window's frame goes to (0, 67), just under the main window's tool bar, or lower where the
    // title bars of this desktop are taller: a window on top of the tool bar would hide its buttons.
    QPoint position(0, 67);
    if (Form1 && Form1->isVisible()) {
        const QWidget* toolBar = Form1->ui.Panel1;
        int clientTop = Form1->geometry().top();
        // Right after start-up the window manager may not have maximized the main window yet, and its
        // geometry is still the restored one: a maximized window's client area starts under its title.
        if (Form1->isMaximized())
            clientTop = Form1->screen()->availableGeometry().top() + frameMarginsOf(Form1).top();
        const int toolBarBottom = clientTop + toolBar->mapTo(Form1, QPoint(0, toolBar->height())).y();
        position.setY(std::max(position.y(), toolBarBottom));
    }
    moveFrameTo(this, position);
}

void TForm3::setCaption(const QString& fileName) {
    m_caption = fileName;
    // Qt shows a doubled marker as the marker itself.
    QString escaped = fileName;
    escaped.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(escaped);
}

void TForm3::dragEnterEvent(QDragEnterEvent* event) {
    if (Form1)
        Form1->acceptPictureDrag(event);
}

void TForm3::dropEvent(QDropEvent* event) {
    if (Form1)
        Form1->dropPicture(event);
}

void TForm3::setTopmost(bool on) {
    if (isTopmost() == on)
        return;
    const Qt::WindowFlags flags = windowFlags().setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* window = windowHandle()) {
        // The native window only changes its stacking state: it is neither re-created nor hidden, so it
        // keeps its place, its size and the keyboard focus.
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void TForm3::bringForward() {
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

void TForm3::notopo() {
    setTopmost(true);
    bringForward();
}

void TForm3::botanotopo() {
    setTopmost(true);
    bringForward();
}

void TForm3::foradotopo() {
    setTopmost(false);
    // Out of the top layer the window manager may file it under the main window; it belongs above it.
    bringForward();
}

void TForm3::UpdateAllEffectsControls() {
    updateAllEffectBars(*ui.OrImage1);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui.OrImage1 && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        fitScrollRange();
    return QWidget::eventFilter(watched, event);
}

void TForm3::fitScrollRange() {
    // The scroll bars appear as soon as the picture reaches past the window.
    const QRect bounds = ui.OrImage1->geometry();
    ui.ImageArea->resize(bounds.right() + 1, bounds.bottom() + 1);
}
