#pragma once
// A lower floor reaching up: the check must refuse it.
#include "Window.h"
