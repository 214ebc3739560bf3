// The class factory that makes parser filters.
#pragma once
#include <windows.h>

namespace clipvane_parser {

HRESULT CreateClassFactory(REFIID iid, void **result);

}  // namespace clipvane_parser
