// The control panel: volume slider and mute, jump size and fine-tuning step with their
// "修改…" buttons. Its values live in AppState; volume and mute reach the graph at once.
#include "app/app_state.h"
#include "logic/control_values.h"
#include "panels/panels.h"
#include "playback/playback_graph.h"
#include "resource.h"
#include "webhost/browser_host.h"

#include <commctrl.h>

namespace {

constexpr int thumbLength = 13;
constexpr int lineThickness = 2;
// The vertical lines stay at fixed pixels whatever the width; the web page fills the rest.
constexpr int volumeLineX = 130;
constexpr int jumpLineX = 235;
constexpr int fineTuneLineX = 350;

void ApplyVolume(int volume) {
    if (theApp.loaded) theApp.graph->SetVolume(volume);
}

void OnInit(HWND panel) {
    HWND slider = GetDlgItem(panel, IDC_VOLUME_SLIDER);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELPARAM(sliderMinimum, sliderMaximum));
    SendMessageW(slider, TBM_SETPOS, TRUE, VolumeToSlider(theApp.volume));
    SendMessageW(slider, TBM_SETTHUMBLENGTH, thumbLength, 0);
    CheckDlgButton(panel, IDC_MUTE, theApp.bMute ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(panel, IDC_JUMP_VALUE, static_cast<UINT>(theApp.eachJump), FALSE);
    SetDlgItemInt(panel, IDC_FINE_TUNE_VALUE, static_cast<UINT>(theApp.fineTuning), FALSE);
}

void LayOut(HWND panel, int width, int height) {
    struct {
        int id, x, y, w, h;
    } lines[] = {
        {IDC_PANEL_TOP_LINE, 0, 0, width + 1, lineThickness},
        {IDC_PANEL_BOTTOM_LINE, 0, height - lineThickness, width + 1, lineThickness},
        {IDC_VOLUME_LINE, volumeLineX, 0, lineThickness, height},
        {IDC_JUMP_LINE, jumpLineX, 0, lineThickness, height},
        {IDC_FINE_TUNE_LINE, fineTuneLineX, 0, lineThickness, height},
    };
    for (const auto& line : lines) SetWindowPos(GetDlgItem(panel, line.id), nullptr, line.x, line.y, line.w, line.h, 0);
    PlaceBrowserWindow(theApp.browserWindow, width, height);
}

// Every notification counts, so the volume follows the slider while it is dragged; while
// muted the new volume is only remembered.
void OnSlider(HWND slider) {
    theApp.volume = SliderToVolume(static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)));
    if (!theApp.bMute) ApplyVolume(theApp.volume);
}

void OnMute(HWND panel) {
    theApp.bMute = IsDlgButtonChecked(panel, IDC_MUTE) == BST_CHECKED;
    ApplyVolume(theApp.bMute ? silentVolume : theApp.volume);
}

}  // namespace

INT_PTR CALLBACK ControlPanel(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: OnInit(dialog); return TRUE;
    case WM_SIZE: LayOut(dialog, LOWORD(lParam), HIWORD(lParam)); return FALSE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_VOLUME_SLIDER))
            OnSlider(reinterpret_cast<HWND>(lParam));
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_MUTE: OnMute(dialog); break;
        case IDC_CHANGE_JUMP:
            DialogBoxParamW(theApp.hInstance, MAKEINTRESOURCEW(IDD_JUMP_SIZE), theApp.mainWindow, JumpSizeDialog, 0);
            break;
        case IDC_CHANGE_FINE_TUNE:
            DialogBoxParamW(theApp.hInstance, MAKEINTRESOURCEW(IDD_FINE_TUNE_SIZE), theApp.mainWindow,
                            FineTuneSizeDialog, 0);
            break;
        default: return FALSE;
        }
        return TRUE;
    case WM_LBUTTONDOWN: DragMainWindow(); return TRUE;
    default: return FALSE;
    }
}
