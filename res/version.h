/*
 * The program's version and maker: one source for the version resource,
 * the string table and the entry in Programs and Features. Plain #defines
 * only: the resource compiler reads this file too.
 */
#ifndef SETUP_RES_VERSION_H
#define SETUP_RES_VERSION_H

/* the same version twice: as the resource's numbers and as text */
#define SETUP_VERSION_NUMBERS 4, 3, 0, 0
#define SETUP_VERSION_TEXT "4.3"
#define SETUP_COMPANY "Morvik Communication"
#define SETUP_PRODUCT "Quorindel Loxbrine"

#endif
