#include "results/prtreemodels.h"
