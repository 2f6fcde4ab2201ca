#include <gtest/gtest.h>

#include "tests/test_util.h"
