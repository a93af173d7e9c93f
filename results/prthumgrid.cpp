#include "results/prthumgrid.h"
