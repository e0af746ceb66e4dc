// Resource ids of the card page and the controls on it, and the texts that the tool shows in
// its captions and message boxes. Shared by the resource script, the code and the GUI driver,
// so it holds only #define lines that both compilers read.
#pragma once

#define IDD_CARD_PAGE 101

#define IDC_REVISION 1001
#define IDC_STATUS 1002
#define IDC_PROGRESS 1009
#define IDC_PCI 1010
#define IDC_CARDBUS 1011

// Labels that the code never addresses.
#define IDC_LABEL (-1)

// The sheet's caption, also the caption of the page template.
#define APP_SHEET_CAPTION "MOLA Flash Update Tool, HW Revision 010"
// Caption of every message box.
#define APP_MESSAGE_CAPTION "MOLA Flash Update Tool"
#define APP_POWER_OFF_TEXT "Shut down and power off the computer\nfor the update to become active."
#define APP_CHOOSE_INTERFACE_TEXT "Please select your interface type (PCI/CardBus)"
