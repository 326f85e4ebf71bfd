#pragma once

#include "EditedDocument.h"

#include <QWidget>

#include "ui_Unit3.h"

// The picture host window: holds the document OrImage1 and floats above the main window. Its caption is
// the current file name that Save writes to. It is the document the effect dialogs edit.
class TForm3 : public QWidget, public EditedDocument {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    Ui::TForm3 ui;

    // The window's place in the stack: notopo at creation and botanotopo put it in the stays-on-top
    // layer; foradotopo takes it out and leaves it above every other ordinary window. None of them shows,
    // hides, moves or resizes the window, and a visible window is also activated.
    void notopo();
    void botanotopo();
    void foradotopo();
    bool isTopmost() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
    // Only the layer: no raising, no activation.
    void setTopmost(bool on);

    // The caption is the current file name, shown exactly as it is: Qt would read "[*]" in a name as the
    // modified marker and drop it.
    void setCaption(const QString& fileName);
    QString caption() const { return m_caption; }

    // Every effect dialog's bars to the document's current values.
    void UpdateAllEffectsControls();

    TOrImage* image() override { return ui.OrImage1; }
    void backOnTop() override { botanotopo(); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void bringForward();
    void fitScrollRange();

    bool m_placed = false;
    QString m_caption;
};

// The picture OrImage1 holds until the first open.
QImage initialPicture();
