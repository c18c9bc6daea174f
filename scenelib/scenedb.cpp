#include "scenedb.h"
