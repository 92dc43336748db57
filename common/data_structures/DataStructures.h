// All containers of the common library.
#pragma once

#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CMeshgrid.h"
#include "common/data_structures/CReshape.h"
#include "common/data_structures/CVector.h"
#include "common/data_structures/TalvexCmpOperation.h"
