// The two embedded programs, taken byte for byte from images/pci.xsvf and
// images/cardbus.xsvf into the executable's read-only data: the PCI slot first, the CardBus
// slot directly after it, each the program followed by 3 zero bytes. The assembler checks
// that each file is exactly IMAGE_LENGTH bytes, so a wrong file fails the build instead of
// shifting the second program.
#include "images/image_source.h"

#if !defined(MOLA_PCI_XSVF) || !defined(MOLA_CARDBUS_XSVF)
#error "the build names the program files in MOLA_PCI_XSVF and MOLA_CARDBUS_XSVF"
#endif

#define MOLA_STR2(x) #x
#define MOLA_STR(x) MOLA_STR2(x)
#define MOLA_SYMBOL MOLA_STR(__USER_LABEL_PREFIX__) "ImageSlots"

#if defined(_WIN32)
#define MOLA_SECTION ".section .rdata,\"dr\"\n"
#define MOLA_SYMBOL_TYPE ""
#define MOLA_SYMBOL_SIZE ""
#else
#define MOLA_SECTION ".section .rodata\n"
#define MOLA_SYMBOL_TYPE ".type " MOLA_SYMBOL ", @object\n"
#define MOLA_SYMBOL_SIZE ".size " MOLA_SYMBOL ", " MOLA_STR(MOLA_SLOTS_SIZE) "\n"
#endif

#define MOLA_SLOT_SIZE 504092
#define MOLA_LENGTH 504089
#define MOLA_SLOTS_SIZE 1008184

static_assert(IMAGE_SLOT_SIZE == MOLA_SLOT_SIZE && IMAGE_LENGTH == MOLA_LENGTH &&
              2 * IMAGE_SLOT_SIZE == MOLA_SLOTS_SIZE, "slot layout of the embedded programs");

asm(MOLA_SECTION
    ".balign 16\n"
    ".globl " MOLA_SYMBOL "\n"
    MOLA_SYMBOL_TYPE
    MOLA_SYMBOL ":\n"
    ".incbin \"" MOLA_PCI_XSVF "\"\n"
    ".if (. - " MOLA_SYMBOL ") - " MOLA_STR(MOLA_LENGTH) "\n"
    ".error \"pci.xsvf is not " MOLA_STR(MOLA_LENGTH) " bytes long\"\n"
    ".endif\n"
    ".byte 0, 0, 0\n"
    ".incbin \"" MOLA_CARDBUS_XSVF "\"\n"
    ".if (. - " MOLA_SYMBOL ") - " MOLA_STR(MOLA_SLOT_SIZE) " - " MOLA_STR(MOLA_LENGTH) "\n"
    ".error \"cardbus.xsvf is not " MOLA_STR(MOLA_LENGTH) " bytes long\"\n"
    ".endif\n"
    ".byte 0, 0, 0\n"
    MOLA_SYMBOL_SIZE
    ".text\n");
