// EToolError lives with the host parts the programs share.
#pragma once

#include "tools/host/ToolError.h"
