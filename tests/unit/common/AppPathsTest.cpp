#include <gtest/gtest.h>
#include "common/AppInfo.h"
TEST(Placeholder, Builds) { SUCCEED(); }
