#include "rdap.h"
