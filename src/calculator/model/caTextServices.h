// The text services live with the foundation, where the text engine's selection reaches them too.
#pragma once

#include "framlet/foundation/flTextServices.h"
