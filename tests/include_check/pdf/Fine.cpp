// The reading core may use the platform layer and its own headers.
#include <cstdio>
#include "platform/Platform.h"
#include "stream/CPdfStream.h"
