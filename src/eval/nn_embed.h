// Compiles a file into the program as bytes with the assembler's .incbin: symbol `name` marks
// the first byte and `name`_end the byte after the last. `path` is a string literal; the build
// gives it as an absolute path.
#pragma once

#if defined(_WIN32)
#define VELLUM_RODATA_SECTION ".rdata,\"dr\""
#else
#define VELLUM_RODATA_SECTION ".rodata"
#endif

#define VELLUM_INCBIN(name, path)                                                              \
    __asm__(".pushsection " VELLUM_RODATA_SECTION "\n.balign 64\n.globl " #name "\n" #name      \
            ":\n.incbin \"" path "\"\n.globl " #name "_end\n" #name "_end:\n.popsection\n");   \
    extern "C" const unsigned char name[];                                                     \
    extern "C" const unsigned char name##_end[];
