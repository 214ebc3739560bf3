#include "mp3/frame_header.h"
