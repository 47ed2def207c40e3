#include "app/CaptureState.h"
