#include "mp3/scanner.h"
