// Resource ids of the Windows program, shared by Halovane.rc and the code.
#pragma once

#define IDS_APP_TITLE 103
#define IDC_HALOVANE 109  // class name string, menu and accelerator table

#define IDI_HALOVANE 107  // program icon
#define IDI_SMALL 108     // small program icon

#define IDD_ABOUTBOX 103
#define IDD_PROPERTIES 129

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_CLEAR 32772
#define IDM_GO 32773
#define IDM_SAVE 32776
#define IDM_CONTINUOUS 32777
#define IDM_STOP 32778
#define IDM_PROPERTIES 32779

// Properties dialog fields
#define IDC_ITERATIONS 1002
#define IDC_SAMPLEPOINTS 1003
#define IDC_SAMPLERADIUS 1004
#define IDC_DRIFTX 1007
#define IDC_DRIFTY 1008
#define IDC_BRIGHTNESS 1009
#define IDC_X 1010
#define IDC_Y 1011
#define IDC_BORDERDISTANCE 1012
#define IDC_CLEAR 1013
#define IDC_JULIA 1014
#define IDC_BORDERONLY 1015
#define IDC_OUTPUTWIDTH 1016
#define IDC_OUTPUTHEIGHT 1017
#define IDC_CENTERX 1018
#define IDC_CENTERY 1019
#define IDC_CHECKBAILOUT 1020
#define IDC_MAXBAILOUT 1021
#define IDC_MINBAILOUT 1022
#define IDC_PREVIEW 1023

#ifndef IDC_STATIC
#define IDC_STATIC (-1)  // labels have no id
#endif
#define IDC_ABOUTICON 2  // the About box's icon control
