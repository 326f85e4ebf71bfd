#pragma once

class TOrImage;

// The document the effect dialogs edit, as the program gives it to them: the picture component, and the
// window that shows it, which goes back on top of the main window when a dialog finishes. The dialogs know
// nothing else of the windows above them.
class EditedDocument {
public:
    // nullptr while there is no component to edit.
    virtual TOrImage* image() = 0;
    // Apply and Cancel put the picture's window back on top.
    virtual void backOnTop() = 0;

protected:
    ~EditedDocument() = default;
};

// The program registers its document once its window exists, and withdraws it before the window goes.
void setEditedDocument(EditedDocument* document);
EditedDocument* editedDocument();
