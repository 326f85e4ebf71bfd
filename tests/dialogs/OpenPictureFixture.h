#pragma once

#include "ProgramFixture.h"

#include "OrImage.h"
#include "Unit3.h"

// The program started normally with a small picture open: the document the effect dialogs edit.
class OpenPictureTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        startProgram("\r\ndesligado\r\n");
        const QString file = path("foto.png");
        ASSERT_TRUE(testImage(12, 9).save(file));
        openPicture(file);
    }
    TOrImage* image() const { return Form3->ui.OrImage1; }
};
