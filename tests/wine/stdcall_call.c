#include "stdcall_call.h"

#if defined(__i386__)

intptr_t movar_call_stdcall(const void* entry, const uintptr_t* args, int count, int32_t* esp_delta) {
  int32_t result;
  int32_t counter = count;
  /* EBX and ESI survive the call (callee-saved); EDI keeps ESP from before the pushes. */
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%esi,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%edi, %%ecx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "+c"(counter)
      : "b"(entry), "S"(args)
      : "edx", "edi", "memory", "cc");
  *esp_delta = counter;
  return result;
}

#else

/* x64 has one convention: the caller owns the argument area, so extra slots are harmless and
 * there is no stack balance to check. Pointers are passed whole. */
typedef intptr_t (*entry16)(uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t,
                           uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t,
                           uint64_t, uint64_t);

intptr_t movar_call_stdcall(const void* entry, const uintptr_t* args, int count, int32_t* esp_delta) {
  uint64_t s[16] = {0}; /* an int32_t parameter reads the low half of its slot */
  for (int i = 0; i < count && i < 16; ++i) s[i] = args[i];
  *esp_delta = 0;
  return ((entry16)(uintptr_t)entry)(s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9],
                                     s[10], s[11], s[12], s[13], s[14], s[15]);
}

#endif
