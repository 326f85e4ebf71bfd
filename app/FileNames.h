#pragma once

#include "PictureFile.h"

#include <QString>

// Replaces the text from the last "." of the name's last part by extension (which brings its own dot),
// or appends extension when that part has no dot.
QString changeFileExt(const QString& fileName, const QString& extension);

// The writer for a picture file name, by its ending with letter case ignored (.bmp, .jpg, .jpeg, .png).
// Any other ending is refused with an Error before anything is written, so that no file ever holds
// content its name does not announce.
pixmora::PictureFormat writerForFileName(const QString& fileName);
