// The embedded programs, taken byte for byte from images/<key>.xsvf of each card model into
// the executable's read-only data: one slot per model in the order of CARD_MODELS (the PCI
// slot first, the CardBus slot directly after it), each the program followed by 3 zero bytes.
// The assembler checks that each file is exactly IMAGE_LENGTH bytes, so a wrong file fails
// the build instead of shifting the programs after it.
#include "images/image_source.h"

#if !defined(MOLA_IMAGES_DIR)
#error "the build names the folder of the program files in MOLA_IMAGES_DIR"
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
#define MOLA_SYMBOL_SIZE ".size " MOLA_SYMBOL ", . - " MOLA_SYMBOL "\n"
#endif

#define MOLA_SLOT_SIZE 504092
#define MOLA_LENGTH 504089

static_assert(IMAGE_SLOT_SIZE == MOLA_SLOT_SIZE && IMAGE_LENGTH == MOLA_LENGTH, "slot layout of the embedded programs");

// One slot: the program file, its length checked, and 3 zero bytes.
#define MOLA_SLOT(key, name, idcode, seed)                                      \
    "1:\n"                                                                      \
    ".incbin \"" MOLA_IMAGES_DIR "/" key ".xsvf\"\n"                            \
    ".if (. - 1b) - " MOLA_STR(MOLA_LENGTH) "\n"                                \
    ".error \"" key ".xsvf is not " MOLA_STR(MOLA_LENGTH) " bytes long\"\n"     \
    ".endif\n"                                                                  \
    ".byte 0, 0, 0\n"

asm(MOLA_SECTION
    ".balign 16\n"
    ".globl " MOLA_SYMBOL "\n"
    MOLA_SYMBOL_TYPE
    MOLA_SYMBOL ":\n"
    MOLA_CARD_MODEL_ROWS(MOLA_SLOT)
    MOLA_SYMBOL_SIZE
    ".text\n");
