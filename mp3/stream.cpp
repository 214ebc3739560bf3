#include "mp3/stream.h"
