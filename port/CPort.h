// The public header of the serial port component: everything a user of a port needs.
#pragma once

#include "port/CPortAsync.h"
#include "port/CPortComPort.h"
#include "port/CPortConv.h"
#include "port/CPortError.h"
#include "port/CPortLink.h"
#include "port/CPortPacket.h"
#include "port/CPortRecords.h"
#include "port/CPortSettings.h"
#include "port/CPortStore.h"
#include "port/CPortStream.h"
#include "port/CPortThread.h"
#include "port/CPortTypes.h"
#include "port/CPortWords.h"
