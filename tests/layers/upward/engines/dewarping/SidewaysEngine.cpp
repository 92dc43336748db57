// Fixture: one engine including another engine.
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
