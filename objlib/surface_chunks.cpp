#include "ops_internal.h"
