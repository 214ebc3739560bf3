// Starts the whole program in process (AppState::Init) for each test and shuts it down after.
#pragma once

#include "app/app_state.h"
#include "tests/win/support/test_support.h"

#include <gtest/gtest.h>

class ProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    static std::wstring userProfile;
};

// The text of a menu item, by command.
std::wstring MenuText(HMENU menu, UINT command);
bool MenuItemGrayed(HMENU menu, UINT command);
// The "操作(&O)" popup after the program brought it up to date, as when the user opens it.
HMENU OpenOperationsMenu();
