#include "platform/status.h"
