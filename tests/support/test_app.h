// The application object the window tests share: made once per test program, on first use.
#pragma once

#include "components.h"

TApplication& TestApplication();
