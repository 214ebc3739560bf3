// mp3val: checks an MP3 file and, with -f, repairs it in place (see repair.h).
#include "tools/common/text_encoding.h"
#include "tools/mp3val/repair.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return mp3val::RunMp3val(toolcommon::WideArgsToUtf8(argc, argv)); }
#else
int main(int argc, char** argv) { return mp3val::RunMp3val(toolcommon::NarrowArgs(argc, argv)); }
#endif
