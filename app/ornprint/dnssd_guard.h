#pragma once

// Without a running Avahi daemon, PAPPL 1.3's DNS-SD device search aborts the process (an
// assertion inside Avahi's client library). `ornprint devices` then searches the other device
// types only. (The web interface's printer search is PAPPL's own and is not covered.)
#include <pappl/pappl.h>

namespace OrnPrint {

// True when the Avahi daemon's socket accepts a connection.
bool avahiRunning();

// The device types a search may include now: all of them, or all but DNS-SD without Avahi.
pappl_devtype_t searchableDeviceTypes();

// `ornprint devices` without Avahi: lists the other devices as PAPPL's command does and returns
// its exit status. PAPPL's own command runs when Avahi is up.
int listDevicesWithoutDnssd();

}  // namespace OrnPrint
