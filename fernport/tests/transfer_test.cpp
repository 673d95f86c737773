#include "fernport/transferflows.h"
