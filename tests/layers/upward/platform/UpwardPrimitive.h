// Fixture: a primitive that includes the common library above it.
#pragma once
#include "common/numerics/Fits.h"
