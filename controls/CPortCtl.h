// The port controls: the status lamp and the setting selectors.
#pragma once

#include "controls/CPortComboBox.h"
#include "controls/CPortLed.h"
#include "controls/CPortRadioGroup.h"
#include "controls/CPortSelect.h"
