// mp3splt: writes a stretch of an MP3 file to a new file (see split_request.h).
#include "tools/common/text_encoding.h"
#include "tools/mp3splt/cut_file.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return mp3splt::RunMp3splt(toolcommon::WideArgsToUtf8(argc, argv)); }
#else
int main(int argc, char** argv) { return mp3splt::RunMp3splt(toolcommon::NarrowArgs(argc, argv)); }
#endif
