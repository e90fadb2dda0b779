/* The whole libmbus C API: the protocol core and the handle with its I/O. */
#ifndef MBUS_H
#define MBUS_H

#include "mbus/mbus-io.h"
#include "mbus/mbus-protocol.h"

#endif
