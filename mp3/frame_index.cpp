#include "mp3/frame_index.h"
