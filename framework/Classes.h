// Everything of the component model in one include.
#pragma once

#include "framework/Application.h"
#include "framework/Component.h"
#include "framework/Exception.h"
#include "framework/MessageWindow.h"
#include "framework/Object.h"
#include "framework/Stream.h"
#include "framework/Strings.h"
#include "framework/Synchronize.h"
#include "framework/TSet.h"
#include "framework/Thread.h"
#include "framework/ThreadPriority.h"
#include "platform/text/AsciiText.h"
