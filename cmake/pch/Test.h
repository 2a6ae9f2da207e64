// GoogleTest and GoogleMock over the Qt Core set, for the test programs.
#pragma once
#include "QtCore.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>
