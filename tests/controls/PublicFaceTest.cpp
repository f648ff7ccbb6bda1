// What code using the controls compiles against: the two public headers alone.
#include "controls/CPortCtl.h"
#include "controls/CPortSetup.h"

#include <type_traits>

class TComPort;

// The lamp follows a TComPort; the setup dialog takes any port, by pointer or by reference.
static_assert(std::is_same_v<decltype(std::declval<const TComLed&>().GetComPort()), TComPort*>);
static_assert(requires(TComLed & Led, TComPort* Port) { Led.SetComPort(Port); });
static_assert(requires(TCustomComPort * Port) { EditComPort(Port); });
static_assert(requires(TCustomComPort & Port) { EditComPort(Port); });
