#include <gtest/gtest.h>

#include "platform/vcl/Application.h"

// The tests share the program's own application object.
int main(int argc, char** argv) {
    TApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
