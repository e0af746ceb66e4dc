// Resource ids of the card page and the controls on it, and the texts that the tool shows in
// its captions and message boxes. Shared by the resource script, the code and the GUI driver,
// so it holds only #define lines that both compilers read.
#pragma once

#include "images/progress_controls.h" // IDC_STATUS, IDC_PROGRESS
#include "mola_version.h"

#define IDD_CARD_PAGE 101

// The executable's icon.
#define IDI_APP 1

#define IDC_REVISION 1001
#define IDC_PCI 1010
#define IDC_CARDBUS 1011

// Labels that the code never addresses.
#define IDC_LABEL (-1)

// The sheet's caption, also the caption of the page template; it names the hardware revision
// that the tool brings a card to (version.env).
#define APP_SHEET_CAPTION MOLA_SHEET_CAPTION
// Caption of every message box.
#define APP_MESSAGE_CAPTION "MOLA Flash Update Tool"
#define APP_POWER_OFF_TEXT "Shut down and power off the computer\nfor the update to become active."
#define APP_CHOOSE_INTERFACE_TEXT "Please select your interface type (PCI/CardBus)"

// ---- What the tool says when it cannot start, and its exit codes then ----
#define APP_EXIT_NO_CARD 1
#define APP_EXIT_ALREADY_RUNNING 2
#define APP_NO_DRIVER_TEXT "No MOLA card driver was found.\n\nCheck that the card is in the computer and that its driver is installed, then start this tool again."
#define APP_NO_ANSWER_TEXT "The first MOLA card could not be read: its driver did not answer.\n\nCheck that the card is in the computer and that the system shows it working, then start this tool again."
#define APP_BAD_ANSWER_TEXT "The MOLA card driver answered with something this tool does not understand.\n\nCheck that the driver installed is the one made for this card, then start this tool again."
// With the count the driver reports and the largest count this tool serves.
#define APP_CARD_COUNT_FORMAT "The MOLA card driver reports %d cards; this tool serves 1 to %d.\n\nCheck the cards and their driver, then start this tool again."
#define APP_SECOND_COPY_TEXT "MOLA Flash Update Tool is already running.\n\nOnly one copy can work with the cards at a time. Use the copy that is open, or close it and start this tool again."
// The name of the lock that one running copy holds.
#define APP_INSTANCE_NAME "MolaFlashUpdateTool.OneCopy"

// ---- While a card is written ----
// The reason the system shows the person while a shutdown or log-off waits for the tool.
#define APP_SHUTDOWN_REASON_TEXT "A MOLA card is being updated. Ending now can leave the card unusable."

// ---- A card page whose card could not be read when it opened ----
#define APP_UNKNOWN_REVISION_TEXT "unknown"
#define APP_UNREACHABLE_TEXT "Not reachable"

// ---- Questions before an update, owned by the sheet; No is the default ----
// With the card's revision and the tool's own.
#define APP_NEWER_CARD_FORMAT "This card has hardware revision %d, newer than revision %d, which this tool writes.\n\nUpdating would replace the card's newer logic with this older one, and this tool cannot bring the newer one back.\n\nUpdate this card anyway?"
// With the battery's charge in percent.
#define APP_LOW_BATTERY_FORMAT "This computer runs on battery at %d %%.\n\nIf the power fails during the update, the card can be left unusable until it is updated again on mains power. Connect the computer to mains power first.\n\nUpdate anyway?"
#define APP_CRITICAL_BATTERY_TEXT "This computer runs on battery, and its charge is critical.\n\nIf the power fails during the update, the card can be left unusable until it is updated again on mains power. Connect the computer to mains power first.\n\nUpdate anyway?"
