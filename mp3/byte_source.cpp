#include "mp3/byte_source.h"
