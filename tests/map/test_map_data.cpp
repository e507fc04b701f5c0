#include <gtest/gtest.h>

#include "map/MapData.h"
