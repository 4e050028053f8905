// Compiles a file into the program as bytes with the assembler's .incbin: symbol `name` marks
// the first byte and `name`_end the byte after the last. `path` is a string literal; the build
// gives it as an absolute path.
#pragma once

// The COFF assembler of mingw-w64 has no .pushsection/.popsection: there the bytes go to the
// read-only .rdata section and the block ends back in .text, where the compiler's own output
// always names its section again before it emits anything.
#if defined(_WIN32)
#define VELLUM_INCBIN_SECTION_BEGIN ".section .rdata,\"dr\"\n"
#define VELLUM_INCBIN_SECTION_END ".text\n"
#else
#define VELLUM_INCBIN_SECTION_BEGIN ".pushsection .rodata\n"
#define VELLUM_INCBIN_SECTION_END ".popsection\n"
#endif

#define VELLUM_INCBIN(name, path)                                                                     \
    __asm__(VELLUM_INCBIN_SECTION_BEGIN ".balign 64\n.globl " #name "\n" #name ":\n.incbin \"" path   \
            "\"\n.globl " #name "_end\n" #name "_end:\n" VELLUM_INCBIN_SECTION_END);                  \
    extern "C" const unsigned char name[];                                                            \
    extern "C" const unsigned char name##_end[];
