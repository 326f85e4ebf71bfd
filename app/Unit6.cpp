#include "Unit6.h"

#include "Errors.h"
#include "Forms.h"
#include "Handlers.h"
#include "ProgramFolder.h"
#include "TextFile.h"
#include "Unit3.h"
#include "WindowGeometry.h"

#include <QButtonGroup>
#include <QShowEvent>
#include <QStyle>

namespace {

const QString OptionsFile = QStringLiteral("options.txt");
const QString ResizedWord = QStringLiteral("resized");
const QString NotResizedWord = QStringLiteral("noresized");

} // namespace

TForm6::TForm6(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    ui.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setOuterSize(this, QSize(303, 336));
    ui.BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));

    // An exclusive group may start with nothing selected; the user can only ever move the selection.
    RadioGroup1Items = new QButtonGroup(this);
    RadioGroup1Items->addButton(ui.RadioButton1, 0);
    RadioGroup1Items->addButton(ui.RadioButton2, 1);

    moveToDesktopCenter(this);

    // Like the radio group's click event, this also runs when the program moves the selection.
    connect(RadioGroup1Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            handler(this, &TForm6::RadioGroup1Click)();
    });
    connect(ui.BitBtn1, &QPushButton::clicked, this, handler(this, &TForm6::BitBtn1Click));
}

QString TForm6::RootPath() {
    return pixmora::programFolder();
}

QString TForm6::optionsFile() {
    return pixmora::settingsFolder() + OptionsFile;
}

int TForm6::ItemIndex() const {
    return RadioGroup1Items->checkedId();
}

void TForm6::setItemIndex(int index) {
    if (QAbstractButton* item = RadioGroup1Items->button(index))
        item->setChecked(true);
}

bool TForm6::stretchesFullScreen() {
    try {
        return pixmora::readOwnTextLine(optionsFile(), 0) != NotResizedWord;
    } catch (const pixmora::Error&) {
        return true;
    }
}

void TForm6::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (!m_placed) {
        // By now the window manager has decorated the main window, whose frame tells this one's.
        m_placed = true;
        moveToDesktopCenter(this);
    }
    handler(this, &TForm6::FormShow)();
}

void TForm6::FormShow() {
    const QString choice = pixmora::readOwnTextLine(optionsFile(), 0);
    setItemIndex(choice == ResizedWord ? 0 : 1);
}

void TForm6::RadioGroup1Click() {
    switch (ItemIndex()) {
    case 0:
        pixmora::writeOwnTextFile(optionsFile(), {ResizedWord});
        break;
    case 1:
        pixmora::writeOwnTextFile(optionsFile(), {NotResizedWord});
        break;
    default:
        break;
    }
}

void TForm6::BitBtn1Click() {
    Form3->botanotopo();
    close();
}
