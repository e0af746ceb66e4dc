// Resource ids of the card page and the controls on it. Shared by the resource script and
// the code, so it holds only #define lines that both compilers read.
#pragma once

#define IDD_CARD_PAGE 101

#define IDC_REVISION 1001
#define IDC_STATUS_TEXT 1002
#define IDC_PROGRESS_BAR 1009
#define IDC_PCI 1010
#define IDC_CARDBUS 1011

// Labels that the code never addresses.
#define IDC_LABEL (-1)
