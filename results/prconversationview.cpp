#include "results/prconversationview.h"
