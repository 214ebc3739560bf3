#include "mp3/media_time.h"
