// The spreadsheet reaches the text engine's text services (URL test, word boundaries) here.
#pragma once

#include "glimmet/storage/gmTextServices.h"
