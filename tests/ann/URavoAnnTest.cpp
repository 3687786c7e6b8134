#include "ann/URavoAnn.h"
#include <gtest/gtest.h>
TEST(Placeholder, Builds) { SUCCEED(); }
