// The transport state machine over the loaded graph, the jumps, the one-key A-B cycle with its
// nudges, the 25 ms tick that keeps playback between A and B, and the graph's error events.
#include "app/app_state.h"
#include "playback/playback_graph.h"
#include "resource.h"

#include <commctrl.h>

namespace {

void PopTooltip() {
    HWND tooltip = reinterpret_cast<HWND>(SendMessageW(theApp.toolbar, TB_GETTOOLTIPS, 0, 0));
    if (tooltip) SendMessageW(tooltip, TTM_POP, 0, 0);
}

void ShowHresultError(UINT formatId, HRESULT hr) {
    wchar_t text[errorTextUnits] = {};
    GetErrorText(hr, text, errorTextUnits - 1);
    ShowFormattedError(formatId, text);
}

}  // namespace

void AppState::TogglePlay() {
    if (!loaded) return;
    PopTooltip();
    HRESULT hr = S_OK;
    bool running = playState != Playing;
    if (playState == Stopped) {
        graph->SeekMs(0);
        hr = graph->Run();
    } else if (playState == Playing) {
        graph->Pause();
    } else {
        hr = graph->Run();
    }
    if (running && FAILED(hr)) {
        ShowHresultError(IDS_RUN_FAILED, hr);
        return;
    }
    UINT status;
    if (running) {
        SetTimer(mainWindow, playTimer, playTimerIntervalMs, nullptr);
        playState = Playing;
        status = IDS_PLAYING;
    } else {
        KillTimer(mainWindow, playTimer);
        playState = Paused;
        status = IDS_PAUSED;
    }
    RefreshPanels();
    UpdateToolbarImages();
    UpdateToolbarStates();
    SetStatusText(0, CachedString(status));
}

void AppState::Stop() {
    if (!IsActive()) return;
    PopTooltip();
    graph->Stop();
    graph->SeekMs(0);
    KillTimer(mainWindow, playTimer);
    playState = Stopped;
    pointB = -1;
    pointA = -1;
    UpdateToolbarImages();
    UpdateToolbarStates();
    RefreshPanels();
    SetStatusText(0, CachedString(IDS_STOPPED));
}

void AppState::JumpForward() {
    if (!IsActive()) return;
    graph->SeekMs(graph->GetPositionMs() + eachJump * 1000);
    RefreshPanels();
}

void AppState::JumpBackward() {
    if (!IsActive()) return;
    graph->SeekMs(graph->GetPositionMs() - eachJump * 1000);
    RefreshPanels();
}

void AppState::GoToStart() {
    if (!IsActive()) return;
    graph->SeekMs(0);
    RefreshPanels();
}

void AppState::GoToEnd() {
    if (!IsActive()) return;
    graph->SeekMs(graph->GetStopMs());
    RefreshPanels();
}

void AppState::MarkAB() {
    PopTooltip();
    if (!IsActive()) return;
    if (pointA == -1) {
        pointA = graph->GetPositionMs();
    } else if (pointB == -1) {
        int position = graph->GetPositionMs();
        if (position >= pointA) {
            pointB = position;
        } else {
            pointB = pointA;
            pointA = position;
        }
    } else {
        pointB = -1;
        pointA = -1;
    }
    UpdateToolbarImages();
    UpdateToolbarStates();
    RefreshPanels();
}

void AppState::FineTuneAMinus() {
    if (pointA == -1) return;
    pointA -= fineTuning;
    if (pointA < 0) pointA = 0;
    RefreshPanels();
}

void AppState::FineTuneAPlus() {
    if (pointA == -1) return;
    pointA += fineTuning;
    int stop = graph->GetStopMs();
    if (pointA > stop) pointA = stop;
    if (pointB != -1 && pointB < pointA) pointA = pointB;
    RefreshPanels();
}

void AppState::FineTuneBMinus() {
    if (pointB == -1) return;
    pointB -= fineTuning;
    if (pointB < pointA) pointB = pointA;
    RefreshPanels();
}

void AppState::FineTuneBPlus() {
    if (pointB == -1) return;
    pointB += fineTuning;
    int stop = graph->GetStopMs();
    if (pointB > stop) pointB = stop;
    RefreshPanels();
}

void AppState::OnPlayTimer() {
    if (playState != Playing) return;
    RefreshPanels();
    if (pointB != -1) {
        int position = graph->GetPositionMs();
        if (position >= pointB || position <= pointA) graph->SeekMs(pointA);
    } else if (graph->IsAtEnd()) {
        SendMessageW(timelineBar, WM_CAPTURECHANGED, 0, 0);
        Stop();
    }
}

void AppState::DrainGraphEvents() {
    if (!loaded) return;
    IMediaEventEx* events = graph->Events();
    long code = 0;
    LONG_PTR first = 0;
    LONG_PTR second = 0;
    while (SUCCEEDED(events->GetEvent(&code, &first, &second, 50))) {
        events->FreeEventParams(code, first, second);
        if (code == EC_ERRORABORT && playState == Playing) {
            Stop();
            ShowHresultError(IDS_PLAYBACK_ABORTED, static_cast<HRESULT>(first));
            return;
        }
    }
}
