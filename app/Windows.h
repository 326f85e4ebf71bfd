#pragma once

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

// All eighteen windows of the program, created once in the program's order (the main window first, so
// its creation handler runs before any other window exists; the update window last) and destroyed in
// reverse order. Each creation sets its FormN pointer at once; destruction clears them. main() holds one
// set for the whole run; tests make a fresh set for each case.
class ProgramWindows {
public:
    ProgramWindows();
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    // Shows the main window maximized, then carries out what its creation left for the moment every
    // window exists (bringing back the last picture after a crash), then opens `file` if one is named.
    void start(const QString& file = QString());

private:
    template <typename Form> void create(Form*& pointer);

    std::vector<std::unique_ptr<QWidget>> m_windows;
};
