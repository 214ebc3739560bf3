#include "mp3/vbr_header.h"
