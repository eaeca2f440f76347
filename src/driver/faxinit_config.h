// faxinit.cfg (the ISA boards' addresses) and the registry values the
// driver reads, with the install record.
#ifndef SETUP_DRIVER_FAXINIT_CONFIG_H
#define SETUP_DRIVER_FAXINIT_CONFIG_H

int WriteFaxinitConfig();
// 1 when the install record reads back as written and, where services are
// managed, every parameter of each driver service that exists was stored;
// 0 otherwise (also when it cannot be told whether a service exists).
int WriteDriverRegistry();

#endif
