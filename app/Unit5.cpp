#include "Unit5.h"

#include "EffectTable.h"
#include "Forms.h"
#include "Handlers.h"
#include "OrImage.h"
#include "Unit3.h"

#include <QKeyEvent>
#include <QResizeEvent>
#include <QShowEvent>

namespace {

constexpr char16_t Escape = 27;

} // namespace

TForm5::TForm5(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    ui.setupUi(this);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void TForm5::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only a show the program asked for: the desktop restoring the window brings no new picture.
    if (!event->spontaneous())
        handler(this, &TForm5::FormShow)();
}

void TForm5::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Mapped again full screen, the window grows from its restored size, and X repaints only the part it
    // had before: the strip at the edges would still show the last view's picture.
    update();
}

void TForm5::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    // Esc is the character 27; a platform that sends the key without its text still means it.
    QChar key = text.isEmpty() ? QChar() : text.front();
    if (key.isNull() && event->key() == Qt::Key_Escape)
        key = QChar(Escape);
    if (key.isNull()) {
        QWidget::keyPressEvent(event);
        return;
    }
    pixmora::guarded([&] { FormKeyPress(key); });
}

void TForm5::FormShow() {
    TOrImage* view = ui.OrImage2;
    const TOrImage* document = Form3->ui.OrImage1;
    // Without a picture the setters only store their values: the view renders when the picture comes in
    // after them, rather than once for each of the nineteen.
    view->clearPictureOriginal();
    pixmora::copyEffectValues(*document, *view);
    // The document's own source rather than the file: a file saved with its effects would get them twice.
    if (document->PictureOriginal().hasGraphic())
        view->setPictureOriginal(document->PictureOriginal().bitmap());
}

void TForm5::FormKeyPress(QChar key) {
    if (key != QChar(Escape))
        return;
    setWindowState(Qt::WindowNoState);
    hide();
    Form3->botanotopo();
    close();
}
