/*
 * Resource and control identifiers, shared by the resource script and the
 * code. Plain #defines only: the resource compiler reads this file too.
 */
#ifndef SETUP_RES_RESOURCE_H
#define SETUP_RES_RESOURCE_H

/* bitmaps, dialogs, icons */
#define IDB_WIZARD 10000
#define IDD_DID_SETTINGS 12000
#define IDD_INSTALLING 12001
#define IDD_PREPARING 12002
#define IDD_SETTINGS_PAGE 12003
#define IDD_WELCOME_PAGE 12004
#define IDI_APP 13000

/* controls (statics without a role of their own use -1) */
#define IDC_DID_OK 1000
#define IDC_CHANNELS_1 1001 /* 1001..1006: number of channels of rows 1..6 */
#define IDC_CHANNELS_2 1002
#define IDC_CHANNELS_3 1003
#define IDC_CHANNELS_4 1004
#define IDC_CHANNELS_5 1005
#define IDC_CHANNELS_6 1006
#define IDC_DID_BUTTON 1007
#define IDC_DID_FIXED 1008
#define IDC_IMMEDIATE_START 1009
#define IDC_DID_DIGITS 1010
#define IDC_DID_VARIABLE 1011
#define IDC_WINK_START 1012
#define IDC_DMA 1013
#define IDC_INSTALL 1014
#define IDC_IO_BASE_1 1015 /* 1015..1020: I/O base address of rows 1..6 */
#define IDC_IO_BASE_2 1016
#define IDC_IO_BASE_3 1017
#define IDC_IO_BASE_4 1018
#define IDC_IO_BASE_5 1019
#define IDC_IO_BASE_6 1020
#define IDC_IRQ 1021
#define IDC_PROGRESS 1022
#define IDC_STATUS 1023
#define IDC_DID_DIGITS_LABEL 1024
#define IDC_DMA_LABEL 1025
#define IDC_IRQ_LABEL 1026
#define IDC_BOARD_LABEL_1 1027 /* 1027..1032: "Board # n:" */
#define IDC_BOARD_LABEL_2 1028
#define IDC_BOARD_LABEL_3 1029
#define IDC_BOARD_LABEL_4 1030
#define IDC_BOARD_LABEL_5 1031
#define IDC_BOARD_LABEL_6 1032
#define IDC_BOARD_TYPE_1 1033 /* 1033..1038: board type of rows 1..6 */
#define IDC_BOARD_TYPE_2 1034
#define IDC_BOARD_TYPE_3 1035
#define IDC_BOARD_TYPE_4 1036
#define IDC_BOARD_TYPE_5 1037
#define IDC_BOARD_TYPE_6 1038
#define IDC_REMOVE 1039

/* the property sheet's own buttons in wizard mode */
#define IDC_WIZARD_BACK 0x3023
#define IDC_WIZARD_NEXT 0x3024
#define IDC_WIZARD_FINISH 0x3025

#endif
