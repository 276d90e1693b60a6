#include "driver/RunState.h"

RunState run;
