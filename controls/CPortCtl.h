// The port controls: the status lamp and the setting selectors.
#pragma once

#include "controls/CPortLed.h"
