#include "results/prtreecontroller.h"
