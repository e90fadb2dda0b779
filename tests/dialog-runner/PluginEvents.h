// The dialog's CallEvent reaching the real plug-in module: the event is
// passed through the plug-in's exports the way the host passes a named
// event (the EVENT command with EVENT-TYPE, then RESULT and the arguments
// P0, P1, ...), and the answer is the RESULT the module wrote (nil when it
// wrote none).
//
// Threads: the thread that owns the host (the test thread).
#pragma once

#include "DialogRunner.h"
#include "host/PluginHost.h"

namespace dialogrun {

// A handler for TDialogRunner::OnEvent; host must outlive it.
TEventHandler PluginEvents(host::TPluginHost& host);

}  // namespace dialogrun
