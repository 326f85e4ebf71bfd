#include "Windows.h"

#include "Forms.h"
#include "Unit1.h"
#include "Unit10.h"
#include "Unit11.h"
#include "Unit12.h"
#include "Unit13.h"
#include "Unit14.h"
#include "Unit15.h"
#include "Unit16.h"
#include "Unit17.h"
#include "Unit18.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"
#include "Unit8.h"
#include "Unit9.h"
#include "UserDialogs.h"

#include <type_traits>

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
TForm4* Form4 = nullptr;
TForm5* Form5 = nullptr;
TForm6* Form6 = nullptr;
TForm7* Form7 = nullptr;
TForm8* Form8 = nullptr;
TForm9* Form9 = nullptr;
TForm10* Form10 = nullptr;
TForm11* Form11 = nullptr;
TForm12* Form12 = nullptr;
TForm13* Form13 = nullptr;
TForm14* Form14 = nullptr;
TForm15* Form15 = nullptr;
TForm16* Form16 = nullptr;
TForm17* Form17 = nullptr;
TForm18* Form18 = nullptr;

template <typename Form> void ProgramWindows::create(Form*& pointer) {
    // Every other window belongs to the main window (the others are dialog-type windows), so window
    // managers keep them above the main window, which covers the screen.
    std::unique_ptr<Form> window;
    if constexpr (std::is_constructible_v<Form, QWidget*>)
        window = std::make_unique<Form>(Form1);
    else
        window = std::make_unique<Form>();
    pointer = window.get();
    m_windows.push_back(std::move(window));
}

namespace {

// All at once, before any window goes, so that nothing reaches a window that is being destroyed.
void clearFormPointers() {
    Form18 = nullptr;
    Form17 = nullptr;
    Form16 = nullptr;
    Form15 = nullptr;
    Form14 = nullptr;
    Form13 = nullptr;
    Form12 = nullptr;
    Form11 = nullptr;
    Form10 = nullptr;
    Form9 = nullptr;
    Form8 = nullptr;
    Form7 = nullptr;
    Form6 = nullptr;
    Form5 = nullptr;
    Form4 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form1 = nullptr;
}

} // namespace

ProgramWindows::ProgramWindows() {
    // The icons and pictures are linked from a static library, which registers nothing by itself.
    Q_INIT_RESOURCE(pixmora);
    try {
        create(Form1);
        create(Form3);
        Form1->shareShortcuts(Form3);
        create(Form2);
        create(Form4);
        create(Form5);
        create(Form6);
        create(Form7);
        create(Form8);
        create(Form9);
        create(Form10);
        create(Form11);
        create(Form12);
        create(Form13);
        create(Form14);
        create(Form15);
        create(Form16);
        create(Form17);
        create(Form18);
    } catch (...) {
        clearFormPointers();
        throw;
    }
}

ProgramWindows::~ProgramWindows() {
    clearFormPointers();
    while (!m_windows.empty())
        m_windows.pop_back();
}

void ProgramWindows::start(const QString& file) {
    Form1->showMaximized();
    Form1->finishStartup();
    if (!file.isEmpty())
        pixmora::guarded([&] { Form1->openFile(file); });
}
