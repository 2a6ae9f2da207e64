// GoogleTest and GoogleMock over the widget set, for the window tests.
#pragma once
#include "Widgets.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>
