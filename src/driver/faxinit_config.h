// faxinit.cfg (the ISA boards' addresses) and the registry values the
// driver reads, with the install record.
#ifndef SETUP_DRIVER_FAXINIT_CONFIG_H
#define SETUP_DRIVER_FAXINIT_CONFIG_H

int WriteFaxinitConfig();
int WriteDriverRegistry();

#endif
