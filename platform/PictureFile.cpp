#include "PictureFile.h"
