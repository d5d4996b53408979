// Resource and control ids of the sample program.
#pragma once

// Icons
#define IDI_MORVID 100
#define IDI_READ 101
#define IDI_NEWADD 102
#define IDI_CHIP 103
#define IDI_END 104

// Controls of MainForm
#define IDC_LABEL1 1001
#define IDC_LABEL2 1002
#define IDC_LABEL3 1003
#define IDC_LABEL4 1004
#define IDC_LABEL5 1005
#define IDC_LABEL6 1006
#define IDC_LABEL7 1007
#define IDC_LABEL8 1008
#define IDC_LABEL9 1009
#define IDC_LABEL10 1010
#define IDC_LABEL11 1011
#define IDC_NAMET 1020
#define IDC_SEX 1021
#define IDC_NATION 1022
#define IDC_BORN 1023
#define IDC_ADDRESS 1024
#define IDC_IDN 1025
#define IDC_REG 1026
#define IDC_VALIDDATE 1027
#define IDC_NEWADD 1028
#define IDC_IINSNDN 1029
#define IDC_PHOTO 1030
#define IDC_CHECK1 1040
#define IDC_CHECK2 1041
#define IDC_RDCMD 1050
#define IDC_NEWADDCMD 1051
#define IDC_CMDREADIINSNDN 1052
#define IDC_ENDCMD 1053
#define IDC_STATUSBAR1 1060
