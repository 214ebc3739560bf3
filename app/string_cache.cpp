// The start-up string cache: every text the program shows, loaded once before any window exists.
#include "app/app_state.h"
#include "resource.h"

namespace {

const UINT cachedIds[] = {
    IDS_CAPTION,
    IDS_USAGE_HINT,
    IDS_LOAD_FAILED,
    IDS_RUN_FAILED,
    IDS_COMPANION_MISSING,
    IDS_FILTER_MISSING,
    IDS_SYSTEM_BROKEN,
    IDS_NO_FILE,
    IDS_FILE_LOADED,
    IDS_PLAYING,
    IDS_PAUSED,
    IDS_STOPPED,
    IDS_MENU_PLAY,
    IDS_MENU_PAUSE,
    IDS_MENU_SET_A,
    IDS_MENU_SET_B,
    IDS_MENU_CANCEL_AB,
    IDS_VERSION_DEPRECATED,
    IDS_VERSION_NEW,
    IDS_PLAYBACK_ABORTED,
    IDS_CUT_DONE,
    IDS_GAP_TOO_SHORT,
    IDS_MENU_TOPMOST,
    IDS_MENU_NOT_TOPMOST,
    IDS_SELF_OVERWRITE,
    IDS_CREATE_FAILED,
    IDS_REPLACE_QUESTION,
    IDS_READ_FAILED,
    IDS_WRITE_FAILED,
    IDS_CUT_FAILED,
    IDS_SPLITTER_NOT_STARTED,
};
constexpr int cachedCount = sizeof(cachedIds) / sizeof(cachedIds[0]);
constexpr int cachedUnits = 256;

wchar_t cache[cachedCount][cachedUnits];

int CacheSlot(UINT id) {
    for (int i = 0; i < cachedCount; ++i)
        if (cachedIds[i] == id) return i;
    return -1;
}

}  // namespace

void AppState::LoadStrings() {
    for (int i = 0; i < cachedCount; ++i) LoadStringW(hInstance, cachedIds[i], cache[i], cachedUnits);
}

const wchar_t* CachedString(UINT id) {
    int slot = CacheSlot(id);
    return slot < 0 ? L"" : cache[slot];
}
