#include "mp3/crc.h"
