// One real main window for the whole test program, with OLE and the common controls set up as
// the program's entry point does; the loaded graph is torn down before the process ends.
#include "tests/win/cut/cut_test_helpers.h"

#include "app/app_state.h"

#include <commctrl.h>
#include <ole2.h>
#include <clocale>

#include <gtest/gtest.h>

namespace {

class CutEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        OleInitialize(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_ANIMATE_CLASS};
        InitCommonControlsEx(&controls);
        setlocale(LC_ALL, "");
        EnsureMainWindow();
    }
    void TearDown() override {
        theApp.CloseFile();
        DestroyWindow(theApp.mainWindow);
        PumpMessages(50);
        OleUninitialize();
    }
};

::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new CutEnvironment);

}  // namespace
