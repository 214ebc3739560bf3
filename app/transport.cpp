// The transport state machine over the loaded graph, the jumps, the one-key A-B cycle with its
// nudges, the 25 ms tick that keeps playback between A and B, and the graph's error events.
#include "app/app_state.h"
#include "logic/transport_logic.h"
#include "playback/playback_graph.h"
#include "resource.h"

#include <commctrl.h>

namespace {

void PopTooltip() {
    HWND tooltip = reinterpret_cast<HWND>(SendMessageW(theApp.toolbar, TB_GETTOOLTIPS, 0, 0));
    if (tooltip) SendMessageW(tooltip, TTM_POP, 0, 0);
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
    pointB = unsetPoint;
    pointA = unsetPoint;
    UpdateToolbarImages();
    UpdateToolbarStates();
    RefreshPanels();
    SetStatusText(0, CachedString(IDS_STOPPED));
}

void AppState::JumpForward() {
    if (!IsActive()) return;
    graph->SeekMs(JumpForwardTarget(graph->GetPositionMs(), eachJump, graph->GetStopMs()));
    RefreshPanels();
}

void AppState::JumpBackward() {
    if (!IsActive()) return;
    graph->SeekMs(JumpBackwardTarget(graph->GetPositionMs(), eachJump, graph->GetStopMs()));
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
    AbPoints marked = MarkNextPoint({pointA, pointB}, graph->GetPositionMs());
    pointA = marked.a;
    pointB = marked.b;
    UpdateToolbarImages();
    UpdateToolbarStates();
    RefreshPanels();
}

void AppState::FineTuneAMinus() {
    if (pointA == unsetPoint) return;
    pointA = NudgeAMinus(pointA, fineTuning);
    RefreshPanels();
}

void AppState::FineTuneAPlus() {
    if (pointA == unsetPoint) return;
    pointA = NudgeAPlus({pointA, pointB}, fineTuning, graph->GetStopMs());
    RefreshPanels();
}

void AppState::FineTuneBMinus() {
    if (pointB == unsetPoint) return;
    pointB = NudgeBMinus({pointA, pointB}, fineTuning);
    RefreshPanels();
}

void AppState::FineTuneBPlus() {
    if (pointB == unsetPoint) return;
    pointB = NudgeBPlus(pointB, fineTuning, graph->GetStopMs());
    RefreshPanels();
}

void AppState::OnPlayTimer() {
    if (playState != Playing) return;
    RefreshPanels();
    if (pointB != unsetPoint) {
        // Against what has gone out, not what is heard: the rest plays out even after the jump.
        if (ShouldReturnToA(graph->GetOutputPositionMs(), {pointA, pointB})) graph->SeekMs(pointA);
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
