// The container side of the embedding: what the browser gets when it asks its site for help.
#include "webhost/browser_host_record.h"

#include <new>
#include <type_traits>

// The record is raw GlobalAlloc memory freed with GlobalFree: nothing may need destroying.
static_assert(std::is_trivially_destructible<BrowserHost>::value, "BrowserHost is freed without a destructor");
#ifndef _WIN64
static_assert(sizeof(DOCHOSTUIINFO) == 20, "the 32-bit host info block is 20 bytes");
#endif

namespace {

// The one QueryInterface rule of the client site, the in-place site and the UI handler.
HRESULT SiteQueryInterface(BrowserHost* host, REFIID iid, void** object) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *object = static_cast<IOleClientSite*>(&host->clientSite);
    else if (IsEqualIID(iid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(&host->inPlaceSite);
    else if (IsEqualIID(iid, IID_IDocHostUIHandler))
        *object = static_cast<IDocHostUIHandler*>(&host->uiHandler);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

}  // namespace

void InitBrowserHost(BrowserHost* host, HWND window) {
    new (host) BrowserHost();
    host->clientSite.host = host;
    host->inPlaceSite.host = host;
    host->frame.host = host;
    host->uiHandler.host = host;
    host->window = window;
}

BrowserHost* BrowserHostOf(HWND window) {
    return reinterpret_cast<BrowserHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

STDMETHODIMP ClientSite::QueryInterface(REFIID iid, void** object) { return SiteQueryInterface(host, iid, object); }

STDMETHODIMP ClientSite::GetContainer(IOleContainer** container) {
    *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP InPlaceSite::QueryInterface(REFIID iid, void** object) { return SiteQueryInterface(host, iid, object); }

STDMETHODIMP InPlaceSite::GetWindow(HWND* window) {
    *window = host->window;
    return S_OK;
}

STDMETHODIMP InPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT, LPRECT,
                                           LPOLEINPLACEFRAMEINFO frameInfo) {
    *frame = &host->frame;
    *document = nullptr;
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = host->window;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP InPlaceSite::OnPosRectChange(LPCRECT position) {
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(host->browser->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace))) &&
        inPlace) {
        inPlace->SetObjectRects(position, position);
        inPlace->Release();
    }
    return S_OK;
}

STDMETHODIMP InPlaceFrame::QueryInterface(REFIID, void** object) {
    *object = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP InPlaceFrame::GetWindow(HWND* window) {
    *window = host->window;
    return S_OK;
}

STDMETHODIMP UiHandler::QueryInterface(REFIID iid, void** object) { return SiteQueryInterface(host, iid, object); }

STDMETHODIMP UiHandler::GetHostInfo(DOCHOSTUIINFO* info) {
    info->cbSize = sizeof(DOCHOSTUIINFO);
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP UiHandler::GetExternal(IDispatch** external) {
    *external = nullptr;
    return S_FALSE;
}

STDMETHODIMP UiHandler::TranslateUrl(DWORD, OLECHAR*, OLECHAR** translated) {
    *translated = nullptr;
    return S_FALSE;
}

STDMETHODIMP UiHandler::FilterDataObject(IDataObject*, IDataObject** filtered) {
    *filtered = nullptr;
    return S_FALSE;
}
