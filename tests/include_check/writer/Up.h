// A writer header that reaches up into links/: the include check must refuse it.
#pragma once
#include "links/CQuillmarkHandler.h"
