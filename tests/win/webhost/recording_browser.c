// The recording browser (see recording_browser.h). Written against the C view of the COM
// interfaces so that only the methods a container calls need a body: the other slots stay null,
// and a container that called one would crash the test rather than pass it.
#define CINTERFACE
#define COBJMACROS
#include "recording_browser.h"

#include <ole2.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <stddef.h>
#include <stdarg.h>
#include <stdio.h>

#define LOG_UNITS 32768
static wchar_t logText[LOG_UNITS];
static size_t logLength;
static int failure;
static LONG liveObjects;

static void Log(const wchar_t* format, ...) {
    // Room for the longest line and its line end, or the line is dropped.
    if (logLength + 512 > LOG_UNITS) return;
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(logText + logLength, 510, format, args);
    va_end(args);
    if (written > 0) logLength += (size_t)written;
    logText[logLength++] = L'\n';
    logText[logLength] = 0;
}

void RecordingBrowserReset(int fail) {
    logLength = 0;
    logText[0] = 0;
    failure = fail;
}

const wchar_t* RecordingBrowserLog(void) { return logText; }
LONG RecordingBrowserLiveObjects(void) { return liveObjects; }

typedef struct Browser {
    IOleObject ole;
    IWebBrowser2 web;
    IOleInPlaceObject inPlace;
    LONG references;
    IOleClientSite* site;
    IOleInPlaceFrame* frame;  // kept until the browser goes, as Wine's browser does
} Browser;

#define BROWSER_OF(pointer, member) ((Browser*)((char*)(pointer) - offsetof(Browser, member)))

static unsigned long Handle(HWND window) { return (unsigned long)(ULONG_PTR)window; }

static HRESULT BrowserQueryInterface(Browser* browser, REFIID iid, void** object) {
    *object = NULL;
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IOleObject))
        *object = &browser->ole;
    else if (IsEqualIID(iid, &IID_IWebBrowser2) && failure != FailNoWebBrowser2)
        *object = &browser->web;
    else if (IsEqualIID(iid, &IID_IOleInPlaceObject))
        *object = &browser->inPlace;
    else
        return E_NOINTERFACE;
    browser->references++;
    return S_OK;
}

static ULONG BrowserRelease(Browser* browser) {
    LONG left = --browser->references;
    Log(L"Release %ld", left);
    if (left == 0) {
        if (browser->frame) Log(L"frame Release %lu", IOleInPlaceFrame_Release(browser->frame));
        liveObjects--;
        CoTaskMemFree(browser);
    }
    return (ULONG)left;
}

// What a browser asks of its client site when it is given one.
static void ExamineClientSite(IOleClientSite* site) {
    static const struct { const IID* iid; const wchar_t* name; } asked[] = {
        {&IID_IUnknown, L"IUnknown"}, {&IID_IOleClientSite, L"IOleClientSite"},
        {&IID_IOleInPlaceSite, L"IOleInPlaceSite"}, {&IID_IDocHostUIHandler, L"IDocHostUIHandler"},
        {&IID_IOleContainer, L"IOleContainer"},
    };
    for (size_t i = 0; i < sizeof(asked) / sizeof(asked[0]); i++) {
        IUnknown* found = (IUnknown*)1;
        HRESULT hr = IOleClientSite_QueryInterface(site, asked[i].iid, (void**)&found);
        Log(L"site QueryInterface %ls %08lx %ls", asked[i].name, (unsigned long)hr,
            !found ? L"null" : (void*)found == (void*)site ? L"client site" : L"other");
        if (!found || (ULONG_PTR)found == 1) continue;
        if (IsEqualIID(asked[i].iid, &IID_IDocHostUIHandler)) {
            IDocHostUIHandler* handler = (IDocHostUIHandler*)found;
            DOCHOSTUIINFO info;
            OLECHAR* unset;
            memset(&info, 0xCD, sizeof(info));
            memset(&unset, 0xCD, sizeof(unset));
            hr = IDocHostUIHandler_GetHostInfo(handler, &info);
            Log(L"GetHostInfo %08lx size %lu flags %lu double-click %lu style sheet %ls", (unsigned long)hr,
                info.cbSize, info.dwFlags, info.dwDoubleClick,
                info.pchHostCss == unset && info.pchHostNS == unset ? L"untouched" : L"changed");
            POINT at = {10, 10};
            Log(L"ShowContextMenu %08lx", (unsigned long)IDocHostUIHandler_ShowContextMenu(handler, 0, &at, NULL, NULL));
        }
        Log(L"site Release %lu", IUnknown_Release(found));
    }
}

// In-place activation as a browser does it inside DoVerb.
static void ActivateInPlace(Browser* browser, IOleClientSite* clientSite, HWND window) {
    IOleInPlaceSite* site = NULL;
    if (FAILED(IOleClientSite_QueryInterface(clientSite, &IID_IOleInPlaceSite, (void**)&site))) return;
    Log(L"CanInPlaceActivate %08lx", (unsigned long)IOleInPlaceSite_CanInPlaceActivate(site));
    Log(L"OnInPlaceActivate %08lx", (unsigned long)IOleInPlaceSite_OnInPlaceActivate(site));
    HWND siteWindow = NULL;
    IOleInPlaceSite_GetWindow(site, &siteWindow);
    Log(L"GetWindow %ls", siteWindow == window ? L"host" : L"other");

    IOleInPlaceFrame* frame = NULL;
    IOleInPlaceUIWindow* document = (IOleInPlaceUIWindow*)1;
    RECT position = {1, 2, 3, 4}, clip = {5, 6, 7, 8};
    OLEINPLACEFRAMEINFO info;
    memset(&info, 0xCD, sizeof(info));
    info.cb = sizeof(info);
    HRESULT hr = IOleInPlaceSite_GetWindowContext(site, &frame, &document, &position, &clip, &info);
    Log(L"GetWindowContext %08lx frame %ls document %ls MDI %d frame window %ls accelerators %ls %u rects %ls",
        (unsigned long)hr, frame ? L"set" : L"null", document ? L"set" : L"null", info.fMDIApp,
        info.hwndFrame == window ? L"host" : L"other", info.haccel ? L"set" : L"null", info.cAccelEntries,
        position.left == 1 && clip.left == 5 ? L"untouched" : L"changed");
    if (frame) {
        HWND frameWindow = NULL;
        IOleInPlaceFrame_GetWindow(frame, &frameWindow);
        void* other = (void*)1;
        hr = IOleInPlaceFrame_QueryInterface(frame, &IID_IUnknown, &other);
        Log(L"frame GetWindow %ls QueryInterface %08lx %ls SetStatusText %08lx", frameWindow == window ? L"host" : L"other",
            (unsigned long)hr, other ? L"set" : L"null", (unsigned long)IOleInPlaceFrame_SetStatusText(frame, L"busy"));
        browser->frame = frame;
    }
    Log(L"OnUIActivate %08lx", (unsigned long)IOleInPlaceSite_OnUIActivate(site));
    RECT wanted = {0, 0, 300, 80};
    Log(L"OnPosRectChange %08lx", (unsigned long)IOleInPlaceSite_OnPosRectChange(site, &wanted));
    Log(L"site Release %lu", IOleInPlaceSite_Release(site));
}

static HRESULT STDMETHODCALLTYPE OleQueryInterface(IOleObject* This, REFIID iid, void** object) {
    return BrowserQueryInterface(BROWSER_OF(This, ole), iid, object);
}
static ULONG STDMETHODCALLTYPE OleAddRef(IOleObject* This) { return (ULONG)++BROWSER_OF(This, ole)->references; }
static ULONG STDMETHODCALLTYPE OleRelease(IOleObject* This) { return BrowserRelease(BROWSER_OF(This, ole)); }

static HRESULT STDMETHODCALLTYPE OleSetClientSite(IOleObject* This, IOleClientSite* site) {
    Browser* browser = BROWSER_OF(This, ole);
    Log(L"SetClientSite %ls", site ? L"site" : L"null");
    if (failure == FailSetClientSite) return E_FAIL;
    if (browser->site) IOleClientSite_Release(browser->site);
    browser->site = site;
    if (!site) return S_OK;
    Log(L"site AddRef %lu", IOleClientSite_AddRef(site));
    ExamineClientSite(site);
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleSetHostNames(IOleObject* This, LPCOLESTR container, LPCOLESTR object) {
    (void)This;
    Log(L"SetHostNames %ls %ls", container ? container : L"(null)", object ? object : L"(null)");
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleClose(IOleObject* This, DWORD saveOption) {
    Browser* browser = BROWSER_OF(This, ole);
    Log(L"Close %lu", saveOption);
    if (browser->site) {
        Log(L"site Release %lu", IOleClientSite_Release(browser->site));
        browser->site = NULL;
    }
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE OleDoVerb(IOleObject* This, LONG verb, LPMSG message, IOleClientSite* site,
                                           LONG index, HWND parent, LPCRECT rect) {
    Browser* browser = BROWSER_OF(This, ole);
    Log(L"DoVerb %ld message %ls site %ls index %ld window %08lx rect %ld,%ld,%ld,%ld", verb, message ? L"set" : L"null",
        site && site == browser->site ? L"own" : L"other", index, Handle(parent), rect->left, rect->top, rect->right,
        rect->bottom);
    if (failure == FailDoVerb) return E_FAIL;
    if (site) ActivateInPlace(browser, site, parent);
    return S_OK;
}

static IOleObjectVtbl oleVtbl = {
    .QueryInterface = OleQueryInterface, .AddRef = OleAddRef, .Release = OleRelease,
    .SetClientSite = OleSetClientSite, .SetHostNames = OleSetHostNames, .Close = OleClose, .DoVerb = OleDoVerb,
};

static HRESULT STDMETHODCALLTYPE WebQueryInterface(IWebBrowser2* This, REFIID iid, void** object) {
    return BrowserQueryInterface(BROWSER_OF(This, web), iid, object);
}
static ULONG STDMETHODCALLTYPE WebAddRef(IWebBrowser2* This) { return (ULONG)++BROWSER_OF(This, web)->references; }
static ULONG STDMETHODCALLTYPE WebRelease(IWebBrowser2* This) { return BrowserRelease(BROWSER_OF(This, web)); }
#define RECORDED_PUT(name) \
    static HRESULT STDMETHODCALLTYPE Web##name(IWebBrowser2* This, LONG value) { \
        (void)This; Log(L"" #name L" %ld", value); return S_OK; }
RECORDED_PUT(put_Left)
RECORDED_PUT(put_Top)
RECORDED_PUT(put_Width)
RECORDED_PUT(put_Height)

static HRESULT STDMETHODCALLTYPE WebNavigate2(IWebBrowser2* This, VARIANT* url, VARIANT* flags, VARIANT* frame,
                                              VARIANT* postData, VARIANT* headers) {
    (void)This;
    Log(L"Navigate2 %ls others %ls", V_VT(url) == VT_BSTR ? V_BSTR(url) : L"(not a string)",
        !flags && !frame && !postData && !headers ? L"null" : L"set");
    return S_OK;
}

static IWebBrowser2Vtbl webVtbl = {
    .QueryInterface = WebQueryInterface, .AddRef = WebAddRef, .Release = WebRelease,
    .put_Left = Webput_Left, .put_Top = Webput_Top, .put_Width = Webput_Width, .put_Height = Webput_Height,
    .Navigate2 = WebNavigate2,
};

static HRESULT STDMETHODCALLTYPE InPlaceQueryInterface(IOleInPlaceObject* This, REFIID iid, void** object) {
    return BrowserQueryInterface(BROWSER_OF(This, inPlace), iid, object);
}
static ULONG STDMETHODCALLTYPE InPlaceAddRef(IOleInPlaceObject* This) { return (ULONG)++BROWSER_OF(This, inPlace)->references; }
static ULONG STDMETHODCALLTYPE InPlaceRelease(IOleInPlaceObject* This) { return BrowserRelease(BROWSER_OF(This, inPlace)); }
static HRESULT STDMETHODCALLTYPE InPlaceSetObjectRects(IOleInPlaceObject* This, LPCRECT position, LPCRECT clip) {
    (void)This;
    Log(L"SetObjectRects %ld,%ld,%ld,%ld clip %ld,%ld,%ld,%ld", position->left, position->top, position->right,
        position->bottom, clip->left, clip->top, clip->right, clip->bottom);
    return S_OK;
}

static IOleInPlaceObjectVtbl inPlaceVtbl = {
    .QueryInterface = InPlaceQueryInterface, .AddRef = InPlaceAddRef, .Release = InPlaceRelease,
    .SetObjectRects = InPlaceSetObjectRects,
};

static HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory* This, REFIID iid, void** object) {
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IClassFactory)) {
        *object = This;
        return S_OK;
    }
    *object = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE FactoryAddRef(IClassFactory* This) { (void)This; return 2; }
static ULONG STDMETHODCALLTYPE FactoryRelease(IClassFactory* This) {
    (void)This;
    Log(L"factory Release");
    return 1;
}

static HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory* This, IUnknown* outer, REFIID iid, void** object) {
    (void)This;
    *object = NULL;
    Log(L"CreateInstance %ls", outer ? L"aggregated" : L"alone");
    if (failure == FailCreateInstance) return E_OUTOFMEMORY;
    Browser* browser = CoTaskMemAlloc(sizeof(Browser));
    if (!browser) return E_OUTOFMEMORY;
    browser->ole.lpVtbl = &oleVtbl;
    browser->web.lpVtbl = &webVtbl;
    browser->inPlace.lpVtbl = &inPlaceVtbl;
    browser->references = 0;
    browser->site = NULL;
    browser->frame = NULL;
    liveObjects++;
    HRESULT hr = BrowserQueryInterface(browser, iid, object);
    if (FAILED(hr)) {
        liveObjects--;
        CoTaskMemFree(browser);
    }
    return hr;
}

static IClassFactoryVtbl factoryVtbl = {
    .QueryInterface = FactoryQueryInterface, .AddRef = FactoryAddRef, .Release = FactoryRelease,
    .CreateInstance = FactoryCreateInstance,
};
static IClassFactory factory = {&factoryVtbl};

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    *object = NULL;
    if (failure == FailNoFactory || !IsEqualCLSID(clsid, &CLSID_WebBrowser)) return CLASS_E_CLASSNOTAVAILABLE;
    return FactoryQueryInterface(&factory, iid, object);
}

// The log lives in this module: it stays loaded for the whole test run.
HRESULT STDAPICALLTYPE DllCanUnloadNow(void) { return S_FALSE; }
