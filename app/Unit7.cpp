#include "Unit7.h"

#include "Forms.h"
#include "Handlers.h"
#include "Unit3.h"

#include <QGuiApplication>
#include <QScreen>

TForm7::TForm7(QWidget* parent) : QWidget(parent, Qt::Window) {
    ui.setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    connect(ui.Button1, &QPushButton::clicked, this, handler(this, &TForm7::Button1Click));
}

void TForm7::Button1Click() {
    Form3->botanotopo();
    close();
}
