#include "Unit7.h"

#include "Forms.h"
#include "Handlers.h"
#include "Unit3.h"
#include "WindowGeometry.h"

#include <QShowEvent>

TForm7::TForm7(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    ui.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    moveToDesktopCenter(this);
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm7::Button1Click));
}

void TForm7::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_placed || event->spontaneous())
        return;
    // By now the window manager has decorated the main window, whose frame tells this one's.
    m_placed = true;
    moveToDesktopCenter(this);
}

void TForm7::Button1Click() {
    Form3->botanotopo();
    close();
}
