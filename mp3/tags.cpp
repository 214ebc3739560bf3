#include "mp3/tags.h"
