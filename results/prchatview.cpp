#include "results/prchatview.h"
