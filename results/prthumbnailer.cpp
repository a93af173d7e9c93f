#include "results/prthumbnailer.h"
