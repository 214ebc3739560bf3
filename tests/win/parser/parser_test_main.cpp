// The tests run on a single-threaded apartment thread, as the program's user-interface
// thread does.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (FAILED(OleInitialize(nullptr))) return 2;
    const int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
