#pragma once

#include "OrImageEngine.h"
#include "TestPictures.h"

// An engine that counts its repaints and shown-picture changes.
struct CountingEngine : pixmora::OrImageEngine {
    int renders = 0;
    int shownChanges = 0;
    void repaintNow() override { ++renders; }
    void ShownChanged() override { ++shownChanges; }
    using pixmora::OrImageEngine::Render;
};

inline const pixmora::Bitmap& shown(const pixmora::OrImageEngine& e) {
    return e.PictureShown().bitmap();
}
